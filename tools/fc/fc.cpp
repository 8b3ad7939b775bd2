// Compares two files byte for byte and answers as the Portuguese Windows compare tool
// does. Options ("/B", "/L", ...) are accepted and ignored: every comparison is binary.
// Exit codes: 0 identical, 1 different, 2 a file could not be read or bad arguments.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

static bool readAll(const std::string &path, std::vector<unsigned char> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int main(int argc, char **argv)
{
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 1 && arg.size() <= 3 && arg[0] == '/' && arg.find('/', 1) == std::string::npos)
            continue;
        names.push_back(arg);
    }
    if (names.size() != 2) {
        std::printf("FC: número de arquivos inválido\n");
        return 2;
    }
    const std::string &first = names[0];
    const std::string &second = names[1];
    std::printf("Comparando os arquivos %s e %s\n", first.c_str(), second.c_str());
    std::vector<unsigned char> a, b;
    if (!readAll(first, a)) {
        std::printf("FC: não é possível abrir %s - Arquivo ou pasta inexistente\n", first.c_str());
        return 2;
    }
    if (!readAll(second, b)) {
        std::printf("FC: não é possível abrir %s - Arquivo ou pasta inexistente\n", second.c_str());
        return 2;
    }
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    bool different = a.size() != b.size();
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            std::printf("%08zX: %02X %02X\n", i, a[i], b[i]);
            different = true;
        }
    }
    if (a.size() > b.size())
        std::printf("FC: %s maior que %s\n", first.c_str(), second.c_str());
    else if (b.size() > a.size())
        std::printf("FC: %s maior que %s\n", second.c_str(), first.c_str());
    if (!different) {
        std::printf("FC: nenhuma diferença encontrada\n");
        return 0;
    }
    std::printf("\n");
    return 1;
}

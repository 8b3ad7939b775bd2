#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::fprintf(stderr, "usage: homologa-server --db FILE --listen ADDRESS:PORT --token-file FILE\n");
    return 2;
}

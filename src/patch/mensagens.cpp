#include "patch/mensagens.h"

namespace patch {

TMessages MensagensDaGeracao()
{
    return TMessages(QStringList{
        QStringLiteral("Dir_Empty|Não há diretório base cadastrado para o produto informado na solicitação."),
        QStringLiteral("Dir_Inv|Diretório base cadastrado para o produto informado na solicitação não encontrado."),
        QStringLiteral("Gera_OK|Os arquivos foram gerados com sucesso e serão anexados quando a solicitação for "
                       "encaminhada."),
        QStringLiteral("Gera_Erro|Ocorreram erros na geração dos arquivos. A solicitação poderá ser encaminhada somente "
                       "após a geração completa dos arquivos."),
        QStringLiteral("Gera_Empty|Não há nenhum arquivo a ser gerado. A solicitação já pode ser encaminhada."),
        QStringLiteral("Recebendo|Recebendo informações do servidor..."),
        QStringLiteral("Tramitando|Tramitando solicitações para a próxima fase..."),
        QStringLiteral("Anexando|Anexando arquivos gerados às solicitações..."),
        QStringLiteral("DIRETORIO_ANEXO|Diretório para anexo dos arquivos nas solicitações não está configurado no "
                       "registro. Não será possível anexar os arquivos gerados nas solicitações."),
        QStringLiteral("Create_Dir|Não foi possível criar o diretório: %s"),
        QStringLiteral("PHP_BUILD_ERROR|[ERROR]"),
        QStringLiteral("PHP_BUILD_WARNING|[WARNING]"),
        // The Subversion client of the build working copy.
        QStringLiteral("SUB_ERRO1|não foi possível conectar-se ao servidor"),
        QStringLiteral("SUB_ERRO2|Lock failed: newer version of"),
        QStringLiteral("SUB_ERRO3|Não foi possível abrir o arquivo"),
        QStringLiteral("SUB_ERRO4|Não foi possível setar o arquivo"),
        QStringLiteral("SUB_ERRO5|is already locked by user"),
        QStringLiteral("SUB_ERRO6|svn: Falhou ao adicionar diretório"),
        QStringLiteral("SUB_ERRO7|rode 'svn cleanup' para remover travas"),
        QStringLiteral("SUB_ERRO8|Commit falhou"),
        // Today's client words a lock of another user, a lock on an outdated file, a locked
        // working copy and an unreachable server differently (the last two in English).
        QStringLiteral("SUB_ERRO5_ATUAL|já está travado pelo usuário"),
        QStringLiteral("SUB_ERRO2_ATUAL|Trava falhou: nova versão de"),
        QStringLiteral("SUB_ERRO7_ATUAL|Run 'svn cleanup' to remove locks"),
        QStringLiteral("SUB_ERRO1_ATUAL|Não foi possível conectar ao servidor"),
        QStringLiteral("SUB_ERRO1_ATUAL2|Unable to connect to a repository"),
        QStringLiteral("SUB_COPIATRAVADA|Ocorreram erros na geração de Patch devido à bloqueios existentes no(s) "
                       "arquivo(s) que estão sendo gerados. A Geração de Patch será cancelada."),
        QStringLiteral("ERRO_AO_ATUALIZAR|Ocorreram erros durante o processo de atualização dos arquivos da cópia de "
                       "trabalho. A ação foi cancelada e a  cópia de trabalho não foi atualizada corretamente. "),
        QStringLiteral("SUB_ACAO1|Gerado cópia de trabalho para revisão"),
        QStringLiteral("SUB_ACAO2|travado pelo usuário"),
        QStringLiteral("SUB_ACAO3|Na revisão"),
        QStringLiteral("SUB_ACAO4|Commit da revisão"),
        QStringLiteral("SUB_ACAO5|Atualizado para revisão"),
        // The window build of the metadata web product.
        QStringLiteral("Gerando_Window|Gerando a window %s..."),
        QStringLiteral("GERANDO_WINDOW_NOME|Gerando a window %s ..."),
        QStringLiteral("Gerando_Wizard|Gerando a wizard %s ..."),
        QStringLiteral("GERANDO_WIZARD_NOME|Gerando a wizard %s ..."),
        QStringLiteral("COMP_DATA_HORA|Comparando data/hora dos arquivos gerados pelo build ..."),
        QStringLiteral("CRIA_DIRETORIOS_AUSENTES|Criando diretórios ausentes no repositório ..."),
        QStringLiteral("INSERE_VERSAO_ARQ_BUILD|Inserindo versão nos arquivos que foram substituídos pelo build ..."),
        QStringLiteral("SEM_RELEASE|Não foi possível obter a release do arquivo %s."),
        QStringLiteral("ERRO_SEQUENCIAL|O servidor informou um erro ao consultar o sequencial do arquivo %s na "
                       "atividade: %s"),
        QStringLiteral("SEM_SEQUENCIAL|Não foi possível obter o sequencial dos arquivos da atividade para o arquivo %s."),
        QStringLiteral("ERRO_ATIVIDADE|Não foi possível consultar os arquivos da atividade %s da tarefa %s no servidor. "
                       "A geração dos windows foi interrompida.\r\n\r\n%s"),
        // Stamps that cannot be written as they are.
        QStringLiteral("VERSAO_QR2_LONGA|A versão %s não cabe no carimbo de 9 caracteres do relatório %s; o relatório "
                       "não foi alterado."),
        QStringLiteral("CARIMBO_SQL_INVALIDO|O script %s tem a marca \"-- VERSAO --\" sem a chamada de registro da "
                       "versão na linha seguinte."),
        QStringLiteral("CDS_SEM_DSCAPTION|O arquivo de menu %s não tem o campo DSCAPTION."),
        // Files and artefacts that cannot be part of the patch.
        QStringLiteral("FORA_DA_COPIA|O arquivo %s (solicitação %s) não está dentro da cópia de trabalho de geração %s; "
                       "ele não foi gerado nem enviado ao repositório."),
        QStringLiteral("VERSAO_INVALIDA|A versão do produto \"%s\" não é formada por números (versão, release e patch); "
                       "nenhum arquivo foi gerado."),
        QStringLiteral("ARTEFATO_NAO_GERADO|O compilador terminou sem gravar o arquivo %s de %s."),
        QStringLiteral("ARTEFATO_AUSENTE|O arquivo gerado %s da solicitação %s não foi gerado nesta execução; as "
                       "solicitações não foram tramitadas nem os arquivos anexados."),
    });
}

}  // namespace patch

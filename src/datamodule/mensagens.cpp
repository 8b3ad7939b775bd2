// The texts of the homologation screen: its message table and the two status tables.

#include "datamodule/mensagens.h"

namespace {

QString blanks(int count) { return QString(count, u' '); }

}  // namespace

QStringList MensagensGrupSoliHom()
{
    return {
        QStringLiteral("Excl|Confirma exclusão?"),
        QStringLiteral("Recebendo|Recebendo dados do servidor..."),
        QStringLiteral("Atualizando|Atualizando dados no servidor..."),
        QStringLiteral("SoliDisp|Solicitação"),
        QStringLiteral("SOLI_INV|Solicitação não existe ou está fora da fase de tramitação correta."),
        QStringLiteral("NM_GRUPO_DEVE|Nome do grupo deve ser informado."),
        QStringLiteral("SOLI_DEVE|Solicitação deve ser informada."),
        QStringLiteral("SOLI_JA|Inclusão não permitida.\r\n\r\nSolicitação já está incluída no grupo \"%s - %s\""),
        QStringLiteral("Prod|Produto"),
        QStringLiteral("PROD_DEVE|Produto deve ser informado."),
        QStringLiteral("PROD_INV|Produto inválido."),
        QStringLiteral("N_SOLI_DISP|Não há solicitações disponíveis para este grupo de solicitações."),
        QStringLiteral("N_PROD_CHANGE|Não é permitido alterar o produto de um grupo que já esteja associado a solicitações."),
        QStringLiteral("AVANCA_HINT|Avançar para próxima fase de tramitação"),
        QStringLiteral("SOLI_EMPTY|Não há solicitações cadastradas para este grupo."),
        QStringLiteral("ARQ_EMPTY|Não há arquivos a serem gerados para este grupo."),
        QStringLiteral("SOLI_DEP|A tramitação não pode ser realizada porque as seguintes solicitações dependentes não "
                       "estão incluídas no grupo:\r\n\r\n%s"),
        QStringLiteral("ARQ_DEP|A tramitação não pode ser realizada porque os seguintes arquivos estão incluídos em "
                       "outros grupos de homologação que já estão em andamento:\r\n\r\n%s"),
        QStringLiteral("CONF_001_002|Deseja transferir os arquivos deste grupo de solicitações para o repositório de "
                       "homologação?"),
        QStringLiteral("ATU_ARQ_LOCAL|Atualizando arquivos locais"),
        QStringLiteral("GET_ARQ_DES_VER|Recebendo as revisões corretas dos arquivos do repositório do desenvolvimento..."),
        QStringLiteral("ERRO_N_ATU_LOCAL|Não foi possível atualizar os diretórios locais."),
        QStringLiteral("ACAO_REMOVE_TRAVAS|Removendo as travas dos arquivos do repositório local..."),
        QStringLiteral("ACAO_RESOLVE_CONFLITOS_1|Resolvendo conflitos do repositório local do desenvolvimento..."),
        QStringLiteral("ACAO_RESOLVE_CONFLITOS_2|Resolvendo conflitos do repositório local de homologação..."),
        QStringLiteral("ACAO_UPDATE|Atualizando o repositório local..."),
        QStringLiteral("ACAO_ATU_ARQ_DES|Atualizando arquivos do repositório local do desenvolvimento..."),
        QStringLiteral("ACAO_ATU_ARQ_HOM|Atualizando arquivos do repositório local de homologação..."),
        QStringLiteral("ATU_VER_ARQ_DES|\r\n@echo Atualizando versão do arquivo %s para a revisão %s."),
        QStringLiteral("ERRO_GET_VER_HOM|Erro ao receber versão anterior dos arquivos homologados."),
        QStringLiteral("N_LOC_VER|Não foi possível localizar a revisão atual do arquivo %s."),
        QStringLiteral("ERRO_CRIA_DIR_HOM|Erro ao criar diretório local de arquivos para homologação."),
        QStringLiteral("ERRO_CRIA_ARQ_HOM|Erro ao criar arquivo local para homologação."),
        QStringLiteral("ATU_ARQ_HOM|Atualizando arquivos do repositório de homologação..."),
        QStringLiteral("Grava_Versao_Ant_Arq_Homologados|Gravando versão anterior dos arquivos fonte homologados."),
        QStringLiteral("Troca_Arquivos_Desenv_Homol|Substituindo arquivos do repositório de homologados por arquivos "
                       "do desenvolvimento..."),
        QStringLiteral("TRAM_SUCCESS|Tramitação realizada com sucesso."),
        QStringLiteral("SALVA_LOG|Salvando log da operação..."),
        QStringLiteral("Volta_versao_svn|Voltando versão dos arquivos do repositório de homologação do SubVersion"),
        QStringLiteral("CONF_002_003|Confirma a geração de patch das solicitações do grupo?"),
        QStringLiteral("SOLI_N_GERADA|A tramitação não pode ser realizada porque as seguintes solicitações não foram "
                       "geradas:\r\n\r\n%s"),
        QStringLiteral("VALIDA_SERV|Validando informações no servidor..."),
        QStringLiteral("CONF_003_004|Confirma a atualização dos arquivos pré homologados?"),
        QStringLiteral("SEM_DEP|Não há solicitações dependentes neste grupo de solicitações."),
        QStringLiteral("CRIAR_PATCH|Para prosseguir com o processo, todos os arquivos gerados de todas as solicitações "
                       "deste grupo deverão ser colocados em um arquivo compactado, de nome Rv7_%s_%s.zip, para que o "
                       "servidor de teste seja atualizado utiliizando o MDQ."),
        QStringLiteral("CONF_004_005|Deseja avançar este grupo para a fase de patch gerada?"),
        QStringLiteral("CONF_005_006|Deseja tramitar este grupo de solicitações liberando-o para teste?"),
        QStringLiteral("ATUALIZA_SRV_TESTE|Atualize os servidores de teste com o arquivo Rv7_%s_%s.zip, utilizando o "
                       "MDQ, e depois tramite as solicitações para teste, utilizando o sistema VOP."),
        QStringLiteral("CONF_006_007|Confirma a homologação dos grupos de solicitações selecionados?\r\n\r\nObservação.: "
                       "Os grupos não selecionados para homologação que estiverem na mesma release serão encaminhados "
                       "para regeração de patch."),
        QStringLiteral("SOLI_N_TESTADA|O grupo de solicitações %s não pode ser homologado, pois as seguintes "
                       "solicitações não foram completamente testadas.%s"),
        QStringLiteral("SEM_RELEASE|Todos os grupos selecionados estão sem release. A Homologação não pode prosseguir."),
        QStringLiteral("USER_CANCEL|Operação cancelada pelo usuário."),
        QStringLiteral("VOLTA_GRUPO|Os seguintes grupos se encontram no mesmo release que está sendo homologado, mas "
                       "não foram relacionados para homologação:\r\n\r\n%s\r\n\r\nSe a operação continuar, estes "
                       "grupos voltarão para a fase inicial de homologação e deverão ser novamente testados. Deseja "
                       "prosseguir?"),
        QStringLiteral("SOLI_FORA_FASE|A solicitação \"%s\" já se encontra com status indicando que já foi homologada "
                       "e não será levada em consideração durante a homologação do grupo de solicitações \"%s\"."),
        QStringLiteral("NAO_FEZ_BACKUP|Não foi possível fazer o backup do arquivo: %s"),
        QStringLiteral("NOT_COPY_FILE|Não foi possível realizar a cópia: %s para %s."),
        QStringLiteral("ERRO_CREATE_DIR_BACKUP_KMT|Não foi possível criar o diretório: %s"),
        QStringLiteral("NOT_FILE_EXISTS|Não foi possível localizar o arquivo: %s"),
        QStringLiteral("NOT_DEL_FILE|Não foi possível excluir o arquivo: %s"),
        QStringLiteral("ACAO_GERA_TAG|Registrando a Tag %s no repositório de configuração ..."),
        QStringLiteral("GERA_TAG|Registrando TAG..."),
        QStringLiteral("CRIANDO_DIR_TAG|Criando a pasta %s no diretório %s ."),
        QStringLiteral("GERANDO_TAG|Gerando a Tag para o diretório: %s"),
        QStringLiteral("ERRO_GERA_TAG|Não foi possível registrar a Tag : %s"),
        QStringLiteral("ERRO_RELEASE_ARQ|O grupo não poderá ser homologado pois existe(m) arquivo(s) com release "
                       "inferior ao que está sendo homologado para ser homologado posteriormente:"),
        QStringLiteral("COMMIT_REP_HOMOL|Enviando alterações para o repositório de homologação..."),
        QStringLiteral("COMMIT_FILE_REPHOM|Enviando alterações dos arquivos para o repositório de homologação."),
        QStringLiteral("MAKE_DIR|Criando diretório no Subversion configuração..."),
        QStringLiteral("RESULTADO|Resultado :"),
        QStringLiteral("DIR_EMPTY|Não foi possível localizar o diretório do Subversion, do Produto parametrizado para "
                       "o Grupo de Homologação selecionado."),
        QStringLiteral("DIR_TRUNK|O diretório do subversion cadastrado para o produto %s, é inválido: %s"),
        QStringLiteral("DESFAZ_SVN|Desfazendo alterações no Repositório..."),
        QStringLiteral("ACAO_DESFAZ_SVN|Deletando o diretório %s ."),
        QStringLiteral("STATUS_FILE|Verificando status do arquivos..."),
        QStringLiteral("ERRO_ENVIA_ARQ_HOM|Ocorreram erros no envia das alterações dos arquivos do repositório de "
                       "desenvolvimento para o repositório de homologação."),
        QStringLiteral("ERRO_GET_VER_HOM_POS|Ocorreram erros na recuperação da release gerada pelos arquivos enviados "
                       "para o repositório de homologação."),
        QStringLiteral("NOT_CREATE_DIR|Não foi possível criar o diretório: %s"),
        QStringLiteral("ATUALIZANDO_REPOSITORIOS|Atualizando os arquivos alterados nos repositórios..."),
        QStringLiteral("VALIDA_SOLI_GERADA|Validando se as solicitações foram geradas..."),
        QStringLiteral("ATUAL_PRE_HOMOLOGADOS|Atualizando os arquivos pré homologados..."),
        QStringLiteral("TRAMITAGRUPO_PATCH_GERADA|Tramitando grupo para a fase de Patch gerada..."),
        QStringLiteral("LIBERA_GRUPO_TESTE|Liberando o grupo para teste..."),
        QStringLiteral("VALIDA_SOL_TESTADA|Validando se todas as solicitações foram testadas..."),
        QStringLiteral("VALIDANDO_GRUPOS_RELEASE|Validando grupos com releases iguais..."),
        QStringLiteral("HOMOLOGA_GRUPO_SELECIONADO|Homologando o grupo de solicitações..."),
        QStringLiteral("VOLTA_SOLI_ERRO|Voltando solicitações com erro..."),
        QStringLiteral("VOLTA_BACKUP_HOMOLOGADOS|Voltando o backup dos arquivos pré homologados..."),
        QStringLiteral("VOLTA_SVN_HOMOLOGADOS|Voltando versão dos arquivos no repositório de Homologação..."),
        QStringLiteral("TRAMITA_SOLI_CORRIGE|Tramitando solicitação para correção..."),
        QStringLiteral("VOLTA_REGERA_SOLI|Voltando solicitações para regerar patch..."),
        QStringLiteral("TRAMITA_SOLI_REGERA_PATCH|Tramitando solicitações para regerar patch..."),
        QStringLiteral("ATUALIZANDO_ARQUIVOS_HOMOLOGADOS|Atualizando os arquivos homologados..."),
        QStringLiteral("TRAMITA_SOLI_HOMOL|Tramitando solicitação homologada..."),
        QStringLiteral("GRAVA_BACKUP_HOMOL|Gravando backup dos arquivos homologados..."),
        QStringLiteral("EXCLUI_BACKUP_HOMOL|Excluindo backup dos arquivos homologados..."),
        QStringLiteral("VERIF_STATUS_FILE|Verificando status dos arquivos modificados..."),
        QStringLiteral("ERRO_SOLI_SEM_FILE_GERAR|A(s) seguinte(s) solicitação(ões) não possuem arquivos selecionados "
                       "para geração de Patch. Deseja continuar ? %s"),
        QStringLiteral("ARQMODIFSEMGERAR|Os arquivos seguintes foram modificados, porém não estão relacionados para a "
                       "geração de patch. Deseja continuar ?")
            + blanks(67) + QStringLiteral("%s"),
        QStringLiteral("ARQGERARSEMMODIF|Os arquivos seguintes foram relacionados para a geração de patch, porém não "
                       "foram modificados. Deseja continuar?")
            + blanks(56) + QStringLiteral("%s"),
        QStringLiteral("RELEASE_EMPTY|O(s) seguinte(s) arquivo(s) estão sem release:") + blanks(105)
            + QStringLiteral("%s"),
        QStringLiteral("VALIDANDO_ARQUIVOS|Realizando validações..."),
        QStringLiteral("SOLI_REL_PATCH|Existem solicitações com patch menor a serem homologadas:\r\n\r\n%s"),
        QStringLiteral("ERRO_ARQ_BAIXADO|Os seguintes arquivos apresentaram problemas ao serem atualizados:"),
        QStringLiteral("ERRO_COPIA_ARQ|Os seguintes arquivos apresentaram erros na tentativa de copiá-los para o "
                       "diretório de homologados:"),
        QStringLiteral("ATU_REP_WEB|\r\n@echo Atualizando Diretorio: %s."),
        QStringLiteral("ERRO_ARQ_DIF_VER|As seguintes solicitações possuem arquivos liberados com versão diferente à "
                       "versão informada da solicitação:"),
        QStringLiteral("SOLI_DESENV|As seguintes solicitações possuem item de trabalho comuns aos itens existentes da "
                       "solicitação incluída:"),
        QStringLiteral("SOLI_PROJ_N_OK|Grupo bloqueado porque a(s) solicitação(ões) %s ainda não tiveram seus "
                       "projetos de modelagem homologados."),
    };
}

QStringList StatusGrupo()
{
    return {
        QStringLiteral("001|Pendente"),
        QStringLiteral("002|SVN homologados atualizado"),
        QStringLiteral("003|Grupo Gerado"),
        QStringLiteral("004|Pré homologados atualizado"),
        QStringLiteral("005|Patch de teste Gerado"),
        QStringLiteral("006|Servidores de teste atualizados"),
        QStringLiteral("007|Encerrado"),
    };
}

QStringList StatusSolicitacao()
{
    return {
        QStringLiteral("001|Aguardando Geração de Patch"),
        QStringLiteral("002|Patch gerada"),
        QStringLiteral("003|Não Validada"),
        QStringLiteral("004|Validada com erro"),
        QStringLiteral("005|Validada sem Erro"),
        QStringLiteral("006|Homologada"),
        QStringLiteral("000|Fora da Tramitação"),
        QStringLiteral("007|Aguardando Regeração de Patch"),
    };
}

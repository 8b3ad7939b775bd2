#pragma once

// The board's templates (mustache: {{text}} is escaped, {{{html}}} only takes what another
// template rendered), its style sheet and its script.

namespace server::pages {

extern const char *const kLayout;     // titulo, conteudo (rendered), assinado
extern const char *const kSignIn;     // erro, antifalsificacao
extern const char *const kBoard;      // produtos, colunas (rendered), intervalo, etag
extern const char *const kColumn;     // fase, nome, quantos, versao, cartoes[], mais, consulta
extern const char *const kGroup;      // grupo, caminho (rendered SVG), linha, solicitacoes, arquivos, versoes, logs
extern const char *const kHistory;    // grupos, anterior, proxima
extern const char *const kPhase;      // fase, total, grupos, pagina, produto, anterior, proxima
extern const char *const kStyle;
extern const char *const kScript;

}  // namespace server::pages

#pragma once

// The board's templates (mustache: {{text}} is escaped, {{{html}}} only takes what another
// template rendered), its style sheet and its script.

namespace server::pages {

extern const char *const kLayout;     // titulo, conteudo (rendered), assinado
extern const char *const kSignIn;     // erro
extern const char *const kBoard;      // produtos, colunas (rendered), intervalo
extern const char *const kColumns;    // colunas[] of cartoes[]
extern const char *const kGroup;      // grupo, solicitacoes, arquivos, versoes, decisoes, logs, tags
extern const char *const kHistory;    // grupos, anterior, proxima
extern const char *const kStyle;
extern const char *const kScript;

}  // namespace server::pages

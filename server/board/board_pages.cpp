#include "board/board_pages.h"

namespace server::pages {

const char *const kLayout = R"(<!DOCTYPE html>
<html lang="pt-BR">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{{titulo}} · Homologa</title>
<link rel="stylesheet" href="/painel/estilo.css">
<script src="/painel/painel.js" defer></script>
</head>
<body>
<a class="pular" href="#conteudo">Ir para o conteúdo</a>
<header>
<p class="marca">Homologa</p>
{{#assinado}}<nav aria-label="Navegação principal"><ul>
<li><a href="/painel">Painel</a></li>
<li><a href="/painel/historico">Histórico</a></li>
<li><a href="/painel/auditoria?formato=csv">Auditoria (CSV)</a></li>
<li><a href="/painel/auditoria?formato=json">Auditoria (JSON)</a></li>
<li><a href="/painel/sair">Sair</a></li>
</ul></nav>{{/assinado}}
</header>
<main id="conteudo">
<h1>{{titulo}}</h1>
{{{conteudo}}}
</main>
</body>
</html>
)";

const char *const kSignIn = R"(<form method="post" action="/painel/entrar" class="entrar">
{{#erro}}<p class="erro" role="alert">{{erro}}</p>{{/erro}}
<p>Informe o token de acesso do servidor de aplicação para ver o painel.</p>
<label for="token">Token de acesso</label>
<input id="token" name="token" type="password" autocomplete="current-password" required>
<label for="operador">Operador (opcional)</label>
<input id="operador" name="operador" autocomplete="username" maxlength="12">
<input type="hidden" name="antifalsificacao" value="{{antifalsificacao}}">
<button type="submit">Entrar</button>
</form>
)";

const char *const kBoard = R"(<form method="get" action="/painel" class="filtro">
<label for="produto">Produto</label>
<select id="produto" name="produto">
<option value="">Todos os produtos</option>
{{#produtos}}<option value="{{codigo}}"{{#selecionado}} selected{{/selecionado}}>{{nome}}</option>
{{/produtos}}</select>
<button type="submit">Filtrar</button>
</form>
<div id="quadro" class="quadro" data-intervalo="{{intervalo}}" data-etag="{{etag}}" aria-live="polite">{{{colunas}}}</div>
)";

const char *const kColumn = R"(<section class="coluna" data-fase="{{fase}}" data-versao="{{versao}}" aria-labelledby="fase-{{fase}}">
<h2 id="fase-{{fase}}">{{fase}} · {{nome}} <span class="conta">({{quantos}})</span></h2>
{{#cartoes}}<article class="cartao" data-grupo="{{codigo}}">
<h3><a href="/painel/grupo/{{codigo}}">{{codigo}} · {{nome}}</a></h3>
<p class="produto">{{produto}}{{#release}} · release {{release}}{{/release}}</p>
{{#ultima}}<p class="ultima">Última tramitação: {{anterior}} → {{nova}}, por {{operador}} em {{quando}}</p>{{/ultima}}
{{#tags}}<p class="tag">Tag: {{nome}}</p>{{/tags}}
<ul class="solicitacoes">
{{#solicitacoes}}<li><span class="numero">{{filial}}/{{numero}}</span> {{referencia}}<br><span class="fase">{{fase}}</span>{{#situacao}} · {{situacao}}{{/situacao}}{{#decisao}} · decisão: <strong>{{decisao}}</strong>{{/decisao}}</li>
{{/solicitacoes}}</ul>
</article>
{{/cartoes}}{{^cartoes}}<p class="vazio">Nenhum grupo nesta fase.</p>
{{/cartoes}}{{#mais}}<p class="mais"><a href="/painel/fase/{{fase}}{{consulta}}">Mais {{mais}} grupos nesta fase</a></p>
{{/mais}}</section>
)";

const char *const kGroup = R"(<p><a href="/painel">← Voltar ao painel</a></p>
<dl class="dados">
<dt>Produto</dt><dd>{{produto}}</dd>
<dt>Fase</dt><dd>{{fase}}</dd>
<dt>Release</dt><dd>{{release}}{{^release}}—{{/release}}</dd>
<dt>Criado em</dt><dd>{{criado}}</dd>
{{#encerrado}}<dt>Encerrado em</dt><dd>{{encerrado}}</dd>{{/encerrado}}
</dl>
<section aria-labelledby="s-linha"><h2 id="s-linha">Linha do tempo</h2>
<figure class="caminho-grupo">{{{caminho}}}<figcaption>Caminho do grupo pelas fases, da esquerda para a direita.</figcaption></figure>
<div class="tabela"><table class="linha-do-tempo">
<thead><tr><th scope="col">Quando</th><th scope="col">Evento</th><th scope="col">Operador</th><th scope="col">Solicitação</th><th scope="col">Antes</th><th scope="col">Depois</th><th scope="col">Detalhe</th></tr></thead>
<tbody>{{#linha}}<tr><td>{{quando}}</td><td>{{evento}}</td><td>{{operador}}</td><td>{{solicitacao}}</td><td>{{antes}}</td><td>{{depois}}</td><td class="texto">{{detalhe}}</td></tr>
{{/linha}}{{^linha}}<tr><td colspan="7">Nada registrado para este grupo.</td></tr>{{/linha}}</tbody></table></div></section>
<section aria-labelledby="s-solicitacoes"><h2 id="s-solicitacoes">Solicitações</h2>
<div class="tabela"><table>
<thead><tr><th scope="col">Solicitação</th><th scope="col">Referência</th><th scope="col">Fase</th><th scope="col">Situação no grupo</th><th scope="col">Decisão</th><th scope="col">Justificativa</th></tr></thead>
<tbody>{{#solicitacoes}}<tr><td>{{filial}}/{{numero}}</td><td>{{referencia}}</td><td>{{fase}}</td><td>{{situacao}}</td><td>{{decisao}}</td><td>{{justificativa}}</td></tr>
{{/solicitacoes}}</tbody></table></div></section>
<section aria-labelledby="s-arquivos"><h2 id="s-arquivos">Arquivos modificados</h2>
<div class="tabela"><table>
<thead><tr><th scope="col">Solicitação</th><th scope="col">Arquivo</th><th scope="col">Revisão de desenvolvimento</th></tr></thead>
<tbody>{{#arquivos}}<tr><td>{{numero}}</td><td class="caminho">{{arquivo}}</td><td>{{revisao}}</td></tr>
{{/arquivos}}</tbody></table></div></section>
<section aria-labelledby="s-versoes"><h2 id="s-versoes">Repositório homologado</h2>
<div class="tabela"><table>
<thead><tr><th scope="col">Arquivo</th><th scope="col">Revisão anterior</th><th scope="col">Revisão nova</th></tr></thead>
<tbody>{{#versoes}}<tr><td class="caminho">{{arquivo}}</td><td>{{anterior}}</td><td>{{nova}}</td></tr>
{{/versoes}}</tbody></table></div></section>
<section aria-labelledby="s-logs"><h2 id="s-logs">Tramitações</h2>
{{#logs}}<details><summary>{{quando}} · {{anterior}} → {{nova}} · {{operador}}</summary><pre>{{texto}}</pre></details>
{{/logs}}{{^logs}}<p>Nenhuma tramitação registrada.</p>{{/logs}}</section>
)";

const char *const kHistory = R"(<p>Grupos encerrados, do mais recente ao mais antigo (página {{pagina}}).</p>
<div class="tabela"><table>
<thead><tr><th scope="col">Grupo</th><th scope="col">Nome</th><th scope="col">Produto</th><th scope="col">Release</th><th scope="col">Encerrado em</th></tr></thead>
<tbody>{{#grupos}}<tr><td><a href="/painel/grupo/{{codigo}}">{{codigo}}</a></td><td>{{nome}}</td><td>{{produto}}</td><td>{{release}}</td><td>{{encerrado}}</td></tr>
{{/grupos}}{{^grupos}}<tr><td colspan="5">Nenhum grupo encerrado.</td></tr>{{/grupos}}</tbody></table></div>
<nav aria-label="Páginas" class="paginas">{{#anterior}}<a href="/painel/historico?pagina={{anterior}}" rel="prev">← Mais recentes</a>{{/anterior}}
{{#proxima}}<a href="/painel/historico?pagina={{proxima}}" rel="next">Mais antigos →</a>{{/proxima}}</nav>
)";

const char *const kPhase = R"(<p>{{total}} grupos nesta fase, do mais recente ao mais antigo (página {{pagina}}). <a href="/painel">Voltar ao painel</a></p>
<div class="tabela"><table>
<thead><tr><th scope="col">Grupo</th><th scope="col">Nome</th><th scope="col">Produto</th><th scope="col">Release</th><th scope="col">Alterado em</th></tr></thead>
<tbody>{{#grupos}}<tr><td><a href="/painel/grupo/{{codigo}}">{{codigo}}</a></td><td class="texto">{{nome}}</td><td>{{produto}}</td><td>{{release}}</td><td>{{alterado}}</td></tr>
{{/grupos}}{{^grupos}}<tr><td colspan="5">Nenhum grupo nesta fase.</td></tr>{{/grupos}}</tbody></table></div>
<nav aria-label="Páginas" class="paginas">{{#anterior}}<a href="/painel/fase/{{fase}}?pagina={{anterior}}{{produto}}" rel="prev">← Mais recentes</a>{{/anterior}}
{{#proxima}}<a href="/painel/fase/{{fase}}?pagina={{proxima}}{{produto}}" rel="next">Mais antigos →</a>{{/proxima}}</nav>
)";

const char *const kStyle = R"(:root { color-scheme: light; --texto: #1b1b1b; --fundo: #ffffff; --cartao: #f3f5f8; --borda: #6b7280; --link: #0b4a8f; }
* { box-sizing: border-box; }
body { margin: 0; font: 16px/1.45 system-ui, "Segoe UI", Roboto, sans-serif; color: var(--texto); background: var(--fundo); }
.pular { position: absolute; left: -999px; }
.pular:focus { left: 8px; top: 8px; background: #fff; padding: 4px 8px; }
header { display: flex; flex-wrap: wrap; align-items: center; gap: 8px 24px; padding: 8px 16px; background: #123456; color: #fff; }
header a { color: #fff; }
.marca { font-weight: 700; margin: 0; }
nav ul { list-style: none; display: flex; flex-wrap: wrap; gap: 4px 16px; margin: 0; padding: 0; }
main { padding: 8px 16px 32px; }
h1 { font-size: 1.5rem; }
a { color: var(--link); }
a:focus, button:focus, select:focus, input:focus, summary:focus { outline: 3px solid #d97706; outline-offset: 2px; }
.filtro, .entrar { display: flex; flex-wrap: wrap; align-items: center; gap: 8px; margin-bottom: 16px; }
.entrar { flex-direction: column; align-items: flex-start; max-width: 28rem; }
input, select, button { font: inherit; padding: 6px 10px; border: 1px solid var(--borda); border-radius: 4px; }
button { background: #123456; color: #fff; cursor: pointer; }
.erro { color: #9b1c1c; font-weight: 600; }
.quadro { display: grid; grid-template-columns: repeat(6, minmax(11.5rem, 1fr)); gap: 12px; overflow-x: auto; }
@media (max-width: 900px) { .quadro { grid-template-columns: 1fr; } }
.coluna { background: #e5e9f0; border-radius: 6px; padding: 8px; min-width: 0; }
.coluna h2 { font-size: 1rem; margin: 4px 0 8px; }
.cartao { border: 1px solid #c5ccd6; border-radius: 6px; padding: 8px; margin-bottom: 8px; background: #fff; }
.cartao h3 { font-size: 1rem; margin: 0 0 4px; overflow-wrap: anywhere; }
.cartao p { margin: 2px 0; font-size: 0.9rem; overflow-wrap: anywhere; }
.solicitacoes { margin: 6px 0 0; padding-left: 18px; font-size: 0.9rem; overflow-wrap: anywhere; }
.mais { margin: 4px 0; font-size: 0.9rem; }
.texto { overflow-wrap: anywhere; }
.caminho-grupo { margin: 0 0 12px; overflow-x: auto; }
.caminho-grupo figcaption { font-size: 0.85rem; color: #4b5563; }
.numero { font-variant-numeric: tabular-nums; font-weight: 600; }
.vazio { color: #4b5563; font-style: italic; }
.tabela { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; margin-bottom: 16px; }
th, td { border: 1px solid #c5ccd6; padding: 4px 8px; text-align: left; vertical-align: top; }
th { background: #e5e9f0; }
.caminho { overflow-wrap: anywhere; font-family: ui-monospace, monospace; font-size: 0.9rem; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; background: #f3f5f8; padding: 8px; }
.dados { display: grid; grid-template-columns: max-content 1fr; gap: 4px 16px; }
.dados dt { font-weight: 600; }
.dados dd { margin: 0; }
.paginas { display: flex; gap: 16px; }
)";

// Refreshes the board's columns without reloading the page, asking only for the columns
// that changed (nothing at all comes back when none did), and filters as soon as another
// product is chosen. A session that ended brings the sign-in back.
const char *const kScript = R"((function () {
  var quadro = document.getElementById('quadro');
  if (quadro) {
    var segundos = Number(quadro.getAttribute('data-intervalo')) || 15;
    var etag = quadro.getAttribute('data-etag') || '';
    var timer = setInterval(function () {
      var versoes = [];
      quadro.querySelectorAll('section.coluna').forEach(function (coluna) {
        versoes.push(coluna.getAttribute('data-fase') + ':' + coluna.getAttribute('data-versao'));
      });
      var busca = window.location.search ? window.location.search + '&' : '?';
      fetch('/painel/colunas' + busca + 'versoes=' + encodeURIComponent(versoes.join(',')),
            { credentials: 'same-origin', cache: 'no-store', headers: etag ? { 'If-None-Match': etag } : {} })
        .then(function (r) {
          if (r.status === 304) { return null; }
          if (r.status === 401) { clearInterval(timer); window.location.reload(); return null; }
          if (!r.ok) { throw new Error(String(r.status)); }
          etag = r.headers.get('ETag') || etag;
          return r.text();
        })
        .then(function (html) {
          if (html === null) { return; }
          var novas = document.createElement('div');
          novas.innerHTML = html;
          novas.querySelectorAll('section.coluna').forEach(function (nova) {
            var velha = quadro.querySelector('section.coluna[data-fase="' + nova.getAttribute('data-fase') + '"]');
            if (velha) { velha.replaceWith(nova); } else { quadro.appendChild(nova); }
          });
        })
        .catch(function () {});
    }, segundos * 1000);
  }
  var produto = document.getElementById('produto');
  if (produto) {
    produto.addEventListener('change', function () { produto.form.submit(); });
  }
})();
)";

}  // namespace server::pages

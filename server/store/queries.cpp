#include "store/queries.h"

namespace server::sql {

static const char *const kGroups =
    "SELECT 'N', COALESCE(P.CDARVPROD, ''), G.CDPRODUTO, G.CDGRUPHOMOL, G.DSGRUPHOMOL, G.CDRELEASEGHOM, G.IDSTGRUPHOM, "
    "G.DTCRIAGRHOM, COALESCE(P.NMPRODUTO, ''), G.DTULTATUGHOM, G.DTHRGERAGRUPSOL, G.DTHRHOMOGRUPSOL "
    "FROM GRUPOHOMOL G LEFT JOIN PRODUTO P ON P.CDPRODUTO = G.CDPRODUTO";

static const char *const kRequests =
    "SELECT COALESCE(O.NMOPERADOR, ''), S.MODELAGEM, S.CDFASETRAM, SG.CDGRUPHOMOL, SG.CDFILIAL, SG.NRSOLISERV, "
    "SG.IDSTSOLIGRUP, S.DSREFESOLI, S.TXOBSOLIGER, SG.NRPRIOSOLI, SG.IDHOMOLSOL, SG.IDRETSOLERROPRO, SG.IDENCSOLPATCREG, "
    "S.CDASSUNTO FROM SOLIGRUPO SG JOIN SOLICITACAO S ON S.CDFILIAL = SG.CDFILIAL AND S.NRSOLISERV = SG.NRSOLISERV "
    "LEFT JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERRESP";

static const char *const kGroupGuard =
    "CDGRUPHOMOL = ? AND DSGRUPHOMOL = ? AND CDPRODUTO = ? AND CDRELEASEGHOM = ? AND IDSTGRUPHOM = ? AND "
    "COALESCE(DTULTATUGHOM, '') = ? AND COALESCE(DTHRGERAGRUPSOL, '') = ? AND COALESCE(DTHRHOMOGRUPSOL, '') = ?";

#define QUERY(function, text)                                                                                          \
    const QString &function()                                                                                          \
    {                                                                                                                  \
        static const QString query = text;                                                                             \
        return query;                                                                                                  \
    }

QUERY(groupList, QString::fromLatin1(kGroups) + QStringLiteral(" ORDER BY G.CDGRUPHOMOL"))
QUERY(groupByCode, QString::fromLatin1(kGroups) + QStringLiteral(" WHERE G.CDGRUPHOMOL = ?"))
QUERY(firstGroup, QStringLiteral("SELECT MIN(CDGRUPHOMOL) FROM GRUPOHOMOL"))
QUERY(operatorMayEdit, QStringLiteral("SELECT IDEDITAGRUPO FROM OPERADOR WHERE CDOPERADOR = ?"))
QUERY(requestsOfGroup, QString::fromLatin1(kRequests)
                           + QStringLiteral(" WHERE SG.CDGRUPHOMOL = ? ORDER BY SG.NRPRIOSOLI, SG.CDFILIAL, SG.NRSOLISERV"))
QUERY(requestOfGroup,
      QString::fromLatin1(kRequests) + QStringLiteral(" WHERE SG.CDGRUPHOMOL = ? AND SG.CDFILIAL = ? AND SG.NRSOLISERV = ?"))
QUERY(filesOfGroup,
      QStringLiteral("SELECT A.CDFILIAL, A.NRSOLISERV, A.DSDIRARQCHECKOU, A.CDRELEASEARQANT, A.CDRELEASEARQATU "
                     "FROM SOLIGRUPO SG JOIN ARQMODIF A ON A.CDFILIAL = SG.CDFILIAL AND A.NRSOLISERV = SG.NRSOLISERV "
                     "WHERE SG.CDGRUPHOMOL = ? ORDER BY A.NRSOLISERV, A.CDFILIAL, A.DSARQCHAVE"))

static QString releasedFiles(const char *columns, char kind)
{
    return QStringLiteral("SELECT %1 FROM SOLIGRUPO SG JOIN ARQPATCH A ON A.CDFILIAL = SG.CDFILIAL AND "
                          "A.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? AND A.IDTIPOARQ = '%2' "
                          "ORDER BY A.NRSOLISERV, A.CDFILIAL, A.NRSEQPATCH, A.DSARQCHAVE")
        .arg(QLatin1String(columns), QChar::fromLatin1(kind));
}

QUERY(compiledFilesOfGroup,
      releasedFiles("A.CDFILIAL, A.NRSOLISERV, A.DSARQPATCH, A.DSDIRDSTARQESPCLI, A.DSDIRDESTARQ, A.IDARQESPECLIE", 'C'))
QString filesOfGroupOfKind(char kind) { return releasedFiles("A.CDFILIAL, A.NRSOLISERV, A.DSARQPATCH, A.DSDIRDESTARQ", kind); }
QUERY(updateGroup, QStringLiteral("UPDATE GRUPOHOMOL SET DSGRUPHOMOL = ?, CDPRODUTO = ?, CDRELEASEGHOM = ?, IDSTGRUPHOM = ?, "
                                  "DTULTATUGHOM = ?, DTHRGERAGRUPSOL = ?, DTHRHOMOGRUPSOL = ? WHERE ")
                       + QLatin1String(kGroupGuard))
QUERY(deleteGroup, QStringLiteral("DELETE FROM GRUPOHOMOL WHERE ") + QLatin1String(kGroupGuard))

}  // namespace server::sql

#include "host/dataset.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using packet::FieldType;

// Groups as the screen holds them: code, name, status, release, mark.
packet::Packet groupsPacket(const QList<QStringList> &rows)
{
    packet::Packet data;
    data.fields = {{"CDGRUPHOMOL", FieldType::String, 10},
                   {"DSGRUPHOMOL", FieldType::String, 50},
                   {"IDSTGRUPHOM", FieldType::String, 3},
                   {"CDRELEASEGHOM", FieldType::String, 10},
                   {"IDMARCADO", FieldType::FixedString, 1}};
    for (const QStringList &row : rows) {
        packet::Row values;
        for (const QString &value : row)
            values.append(value.isNull() ? QVariant() : QVariant(value));
        data.rows.append(values);
    }
    return data;
}

void defineGroups(Dataset &dataset)
{
    dataset.setFields({{"CDGRUPHOMOL", FieldType::String, 10, "Código"},
                       {"DSGRUPHOMOL", FieldType::String, 50, "Nome do Grupo"},
                       {"IDSTGRUPHOM", FieldType::String, 3, "Status"},
                       {"CDRELEASEGHOM", FieldType::String, 10, "Release"},
                       {"IDMARCADO", FieldType::FixedString, 1}});
}

const QList<QStringList> kGroups = {
    {"0000000001", "Fiscal", "001", "501023", "N"},
    {"0000000002", "Folha", "002", "501023", "N"},
    {"0000000003", "Estoque", "006", "501023", "S"},
    {"0000000004", "Contábil", "007", "501022", QString()},
    {"0000000005", "fiscal web", "006", "501024", "N"},
};

QStringList codes(Dataset &dataset)
{
    QStringList list;
    const auto saved = std::exchange(dataset.AfterScroll, nullptr);
    for (dataset.First(); !dataset.Eof(); dataset.Next())
        list.append(dataset.FieldByName("CDGRUPHOMOL").AsString());
    dataset.AfterScroll = saved;
    return list;
}

QString code(Dataset &dataset) { return dataset.FieldByName("CDGRUPHOMOL").AsString(); }

}  // namespace

TEST(Dataset, FieldsCursorAndLoading)
{
    Dataset cds("cdsGrupo");
    defineGroups(cds);
    EXPECT_TRUE(cds.IsEmpty());
    EXPECT_TRUE(cds.Eof());
    EXPECT_EQ(cds.RecNo(), 0);
    EXPECT_EQ(cds.FieldByName("idstgruphom").DisplayLabel(), "Status");
    EXPECT_EQ(cds.FieldByName("IDMARCADO").DisplayLabel(), "IDMARCADO");
    EXPECT_EQ(cds.FieldByName("IDMARCADO").DataType(), FieldType::FixedString);
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").Size(), 50);
    EXPECT_THROW(cds.FieldByName("NOPE"), EHomologa);

    int scrolls = 0;
    cds.AfterScroll = [&](Dataset &) { ++scrolls; };
    cds.setData(groupsPacket(kGroups));
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(cds.RecordCount(), 5);
    EXPECT_EQ(cds.RecNo(), 1);
    EXPECT_TRUE(cds.Bof());
    EXPECT_FALSE(cds.Eof());
    EXPECT_EQ(code(cds), "0000000001");
    EXPECT_TRUE(cds.FieldByName("IDMARCADO").AsString() == "N");

    cds.Next();
    cds.Next();
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Estoque");
    cds.Last();
    EXPECT_EQ(code(cds), "0000000005");
    cds.Next();
    EXPECT_TRUE(cds.Eof());
    EXPECT_EQ(code(cds), "0000000005") << "Next at the end stays on the last row";
    cds.Prior();
    EXPECT_EQ(cds.RecNo(), 4);
    EXPECT_TRUE(cds.FieldByName("IDMARCADO").IsNull());
    EXPECT_EQ(cds.FieldByName("IDMARCADO").AsString(), "");
    cds.setRecNo(2);
    EXPECT_EQ(code(cds), "0000000002");

    // A new packet replaces every row and the cursor goes to the first one.
    scrolls = 0;
    cds.setData(groupsPacket({{"0000000009", "Novo", "001", "", "N"}}));
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(cds.RecordCount(), 1);
    EXPECT_EQ(code(cds), "0000000009");

    // Packets are matched by field name: extra fields ignored, missing ones empty.
    packet::Packet other;
    other.fields = {{"EXTRA", FieldType::String, 5}, {"dsgruphomol", FieldType::String, 50}, {"CDGRUPHOMOL", FieldType::String, 10}};
    other.rows = {{QString("x"), QString("Outro"), QString("0000000010")}};
    cds.setData(other);
    EXPECT_EQ(code(cds), "0000000010");
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Outro");
    EXPECT_TRUE(cds.FieldByName("IDSTGRUPHOM").IsNull());

    // Without fields of its own, a dataset takes the packet's.
    Dataset loose;
    loose.setData(groupsPacket(kGroups));
    EXPECT_EQ(loose.FieldCount(), 5);
    EXPECT_EQ(loose.RecordCount(), 5);

    // Date-times and blobs keep their types; texts are cut to the field size.
    Dataset typed;
    typed.setFields({{"DT", FieldType::DateTime}, {"TX", FieldType::String, 3}, {"BL", FieldType::Blob}});
    typed.Append();
    typed.FieldByName("DT").setAsString("06/05/2020 07:08:09");
    typed.FieldByName("TX").setAsString("abcdef");
    typed.FieldByName("BL").setAsString("Justificação");
    typed.Post();
    EXPECT_EQ(typed.FieldByName("DT").AsDateTime(), QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9)));
    EXPECT_EQ(typed.FieldByName("DT").AsString(), "06/05/2020 07:08:09");
    EXPECT_EQ(typed.FieldByName("TX").AsString(), "abc");
    EXPECT_EQ(typed.FieldByName("BL").Value().toByteArray(), QString("Justificação").toUtf8());
    EXPECT_EQ(typed.FieldByName("BL").AsString(), "Justificação");
    typed.Edit();
    EXPECT_THROW(typed.FieldByName("DT").setAsString("ontem"), EHomologa);
    typed.Cancel();
}

TEST(Dataset, StatesAndEvents)
{
    Dataset cds("cdsGrupo");
    defineGroups(cds);
    cds.setData(groupsPacket(kGroups));

    QStringList events;
    cds.BeforeEdit = [&](Dataset &) { events << "BeforeEdit"; };
    cds.AfterEdit = [&](Dataset &) { events << "AfterEdit"; };
    cds.BeforeInsert = [&](Dataset &) { events << "BeforeInsert"; };
    cds.OnNewRecord = [&](Dataset &d) {
        events << "OnNewRecord";
        d.FieldByName("IDSTGRUPHOM").setAsString("001");
    };
    cds.AfterInsert = [&](Dataset &) { events << "AfterInsert"; };
    cds.BeforePost = [&](Dataset &) { events << "BeforePost"; };
    cds.AfterPost = [&](Dataset &) { events << "AfterPost"; };
    cds.BeforeCancel = [&](Dataset &) { events << "BeforeCancel"; };
    cds.AfterCancel = [&](Dataset &) { events << "AfterCancel"; };
    cds.BeforeDelete = [&](Dataset &) { events << "BeforeDelete"; };
    cds.AfterDelete = [&](Dataset &) { events << "AfterDelete"; };
    cds.AfterScroll = [&](Dataset &) { events << "AfterScroll"; };
    cds.OnStateChange = [&](Dataset &d) { events << QString("State%1").arg(int(d.State())); };

    EXPECT_THROW(cds.FieldByName("DSGRUPHOMOL").setAsString("x"), EHomologa) << "no change outside edit or insert";

    cds.Edit();
    EXPECT_EQ(cds.State(), dsEdit);
    cds.FieldByName("DSGRUPHOMOL").setAsString("Fiscal II");
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Fiscal II");
    EXPECT_EQ(cds.gridRow(0).at(1).toString(), "Fiscal II") << "grids show the edit buffer";
    cds.Post();
    EXPECT_EQ(cds.State(), dsBrowse);
    EXPECT_EQ(events, QStringList({"BeforeEdit", "State1", "AfterEdit", "BeforePost", "State0", "AfterPost"}));

    // A failing BeforePost keeps the row in edit with what was typed.
    events.clear();
    cds.BeforePost = [&](Dataset &) { Abort(); };
    cds.Edit();
    cds.FieldByName("DSGRUPHOMOL").setAsString("Recusado");
    EXPECT_THROW(cds.Post(), EAbort);
    EXPECT_EQ(cds.State(), dsEdit);
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Recusado");
    cds.Cancel();
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Fiscal II");
    cds.BeforePost = nullptr;

    // Insert before the current row; the new-record event sets the defaults.
    cds.setRecNo(2);
    events.clear();
    cds.Insert();
    EXPECT_EQ(events, QStringList({"BeforeInsert", "State2", "OnNewRecord", "AfterInsert", "AfterScroll"}));
    EXPECT_EQ(cds.gridRowCount(), 6);
    EXPECT_EQ(cds.gridCurrentRow(), 1);
    EXPECT_EQ(cds.FieldByName("IDSTGRUPHOM").AsString(), "001");
    cds.FieldByName("CDGRUPHOMOL").setAsString("0000000006");
    cds.Post();
    EXPECT_EQ(cds.RecNo(), 2);
    EXPECT_EQ(code(cds), "0000000006");
    EXPECT_EQ(cds.RecordCount(), 6);

    // Cancelling an insert goes back to the row the cursor stood on.
    cds.setRecNo(4);
    const QString before = code(cds);
    events.clear();
    cds.Append();
    cds.Cancel();
    EXPECT_EQ(code(cds), before);
    EXPECT_EQ(cds.RecordCount(), 6);
    EXPECT_TRUE(events.contains("AfterCancel"));

    // Moving posts a pending change, or drops an untouched insert.
    cds.First();
    cds.Edit();
    cds.FieldByName("DSGRUPHOMOL").setAsString("Mudou ao andar");
    cds.Next();
    EXPECT_EQ(cds.State(), dsBrowse);
    cds.First();
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Mudou ao andar");
    cds.Append();
    cds.First();
    EXPECT_EQ(cds.RecordCount(), 6);

    // Delete: events, the cursor stays at the same position; an empty dataset refuses.
    cds.setRecNo(2);
    events.clear();
    cds.Delete();
    EXPECT_EQ(events, QStringList({"BeforeDelete", "AfterDelete", "AfterScroll"}));
    EXPECT_EQ(cds.RecordCount(), 5);
    EXPECT_EQ(code(cds), "0000000002");

    // Edit on an empty dataset inserts.
    Dataset empty;
    defineGroups(empty);
    empty.CreateDataSet();
    EXPECT_THROW(empty.Delete(), EHomologa);
    empty.Edit();
    EXPECT_EQ(empty.State(), dsInsert);
    empty.Cancel();
    EXPECT_TRUE(empty.IsEmpty());

    // A failing new-record event leaves no row behind.
    empty.OnNewRecord = [](Dataset &) { throw EHomologa("falhou"); };
    EXPECT_THROW(empty.Append(), EHomologa);
    EXPECT_EQ(empty.State(), dsBrowse);
    EXPECT_EQ(empty.gridRowCount(), 0);
}

TEST(Dataset, FilterExpressions)
{
    Dataset cds("cdsGrupo");
    defineGroups(cds);
    cds.setData(groupsPacket(kGroups));

    const auto filtered = [&](const QString &expression) {
        cds.ApplyFilter(expression);
        return codes(cds);
    };
    EXPECT_EQ(filtered("IDSTGRUPHOM = '001'"), QStringList({"0000000001"}));
    EXPECT_EQ(filtered("IDSTGRUPHOM <> '006'"), QStringList({"0000000001", "0000000002", "0000000004"}));
    EXPECT_EQ(filtered("IDSTGRUPHOM IN ('002','003','004','005','006' )"),
              QStringList({"0000000002", "0000000003", "0000000005"}));
    EXPECT_EQ(filtered("IDSTGRUPHOM = '001' OR IDSTGRUPHOM IN ('002','003','004','005','006' ) OR IDSTGRUPHOM = '007'")
                  .size(),
              5);
    EXPECT_EQ(filtered("IDSTGRUPHOM = '006' AND CDRELEASEGHOM = '501023'"), QStringList({"0000000003"}));
    EXPECT_EQ(filtered("IDSTGRUPHOM = '001' OR IDSTGRUPHOM = '006' AND IDMARCADO = 'S'"),
              QStringList({"0000000001", "0000000003"}))
        << "AND binds tighter than OR";
    EXPECT_EQ(filtered("(IDSTGRUPHOM = '001' OR IDSTGRUPHOM = '006') AND IDMARCADO = 'N'"),
              QStringList({"0000000001", "0000000005"}));
    EXPECT_EQ(filtered("UPPER(DSGRUPHOMOL) = 'FISCAL'"), QStringList({"0000000001"}));
    EXPECT_EQ(filtered("upper(dsgruphomol) like 'FISCAL%'"), QStringList({"0000000001", "0000000005"}));
    EXPECT_EQ(filtered("0=1"), QStringList());
    EXPECT_TRUE(cds.IsEmpty());
    EXPECT_TRUE(cds.Eof());
    EXPECT_EQ(filtered("1=1").size(), 5);
    EXPECT_EQ(filtered("IDSTGRUPHOM > 5"), QStringList({"0000000003", "0000000004", "0000000005"}))
        << "a text against a number compares as numbers";
    // Each comparison once, the bound itself on the side its operator says.
    EXPECT_EQ(filtered("IDSTGRUPHOM <= '002'"), QStringList({"0000000001", "0000000002"}));
    EXPECT_EQ(filtered("IDSTGRUPHOM < '002'"), QStringList({"0000000001"}));
    EXPECT_EQ(filtered("IDSTGRUPHOM >= '007'"), QStringList({"0000000004"}));
    EXPECT_EQ(filtered("IDMARCADO IS NULL"), QStringList({"0000000004"}));
    EXPECT_EQ(filtered("IDMARCADO = ''"), QStringList({"0000000004"})) << "an empty field equals ''";
    EXPECT_EQ(filtered("NOT (IDMARCADO = 'N')"), QStringList({"0000000003", "0000000004"}));
    EXPECT_EQ(filtered("[CDRELEASEGHOM] NOT IN ('501023')"), QStringList({"0000000004", "0000000005"}));
    EXPECT_EQ(filtered("DSGRUPHOMOL = 'It''s'"), QStringList());

    cds.setFilterCaseInsensitive(true);
    EXPECT_EQ(filtered("DSGRUPHOMOL = 'FISCAL'"), QStringList({"0000000001"}));
    cds.setFilterCaseInsensitive(false);
    EXPECT_EQ(filtered("DSGRUPHOMOL = 'FISCAL'"), QStringList());

    // Malformed filters are clear errors; the filter in force stays.
    EXPECT_EQ(filtered("IDSTGRUPHOM = '006'").size(), 2);
    const QStringList malformed = {"IDSTGRUPHOM = '006",   "IDSTGRUPHOM =",         "IDSTGRUPHOM '006'",
                                   "(IDSTGRUPHOM = '006'", "IDSTGRUPHOM = '006')",  "NOPE = 'x'",
                                   "IDSTGRUPHOM IN '006'", "IDSTGRUPHOM IN ('006'", "AND IDSTGRUPHOM = '1'",
                                   "IDSTGRUPHOM = '1' OR", "FOO(IDSTGRUPHOM) = '1'", "IDSTGRUPHOM = 1x",
                                   "IDSTGRUPHOM # '1'",    "IDSTGRUPHOM IS 'x'",    "[IDSTGRUPHOM = '1'",
                                   "UPPER(IDSTGRUPHOM = 'X'", "IDSTGRUPHOM"};
    for (const QString &text : malformed) {
        try {
            cds.ApplyFilter(text);
            ADD_FAILURE() << "accepted: " << text.toStdString();
        } catch (const EHomologa &error) {
            EXPECT_TRUE(error.message().contains("Filtro inválido")) << error.message().toStdString();
            EXPECT_TRUE(error.message().contains(text)) << error.message().toStdString();
        }
        EXPECT_EQ(cds.RecordCount(), 2) << text.toStdString();
        EXPECT_EQ(cds.Filter(), "IDSTGRUPHOM = '006'");
    }

    // setFilter/setFiltered, and a posted row that leaves the filter disappears.
    cds.setFiltered(false);
    EXPECT_EQ(cds.RecordCount(), 5);
    cds.setFiltered(true);
    EXPECT_EQ(cds.RecordCount(), 2);
    cds.Edit();
    cds.FieldByName("IDSTGRUPHOM").setAsString("007");
    cds.Post();
    EXPECT_EQ(codes(cds), QStringList({"0000000005"}));
    cds.Append();
    cds.FieldByName("CDGRUPHOMOL").setAsString("0000000008");
    cds.FieldByName("IDSTGRUPHOM").setAsString("001");
    cds.Post();
    EXPECT_EQ(cds.RecordCount(), 1);
    cds.ApplyFilter("");
    EXPECT_FALSE(cds.Filtered());
    EXPECT_EQ(cds.RecordCount(), 6);

    // Applying a filter scrolls to the first row.
    int scrolls = 0;
    cds.AfterScroll = [&](Dataset &) { ++scrolls; };
    cds.ApplyFilter("IDSTGRUPHOM = '002'");
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(code(cds), "0000000002");
}

TEST(Dataset, LocateLookupAndBookmarks)
{
    Dataset cds("cdsSoli");
    cds.setFields({{"CDFILIAL", FieldType::String, 4}, {"NRSOLISERV", FieldType::String, 10}, {"DSREFESOLI", FieldType::String, 60}});
    packet::Packet data;
    data.fields = cds.packetFields();
    data.rows = {{QString("0001"), QString("0000000010"), QString("Nota fiscal")},
                 {QString("0002"), QString("0000000010"), QString("Outra filial")},
                 {QString("0001"), QString("0000000011"), QString("Folha")}};
    cds.setData(data);

    int scrolls = 0;
    cds.AfterScroll = [&](Dataset &) { ++scrolls; };
    EXPECT_TRUE(cds.Locate("CDFILIAL;NRSOLISERV", QVariantList{"0002", "0000000010"}));
    EXPECT_EQ(cds.RecNo(), 2);
    EXPECT_EQ(scrolls, 1);
    EXPECT_FALSE(cds.Locate("NRSOLISERV", "0000000099"));
    EXPECT_EQ(cds.RecNo(), 2) << "a failed locate does not move";
    EXPECT_EQ(scrolls, 1);
    EXPECT_FALSE(cds.Locate("DSREFESOLI", "FOLHA"));
    EXPECT_TRUE(cds.Locate("DSREFESOLI", "FOLHA", loCaseInsensitive));
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_TRUE(cds.Locate("DSREFESOLI", "nota", loCaseInsensitive | loPartialKey));
    EXPECT_EQ(cds.RecNo(), 1);
    EXPECT_THROW(cds.Locate("NOPE", "x"), EHomologa);
    EXPECT_THROW(cds.Locate("CDFILIAL;NRSOLISERV", "0001"), EHomologa);
    EXPECT_EQ(cds.findRow("NRSOLISERV", "0000000010", 0, 1), 1);

    EXPECT_EQ(cds.Lookup("NRSOLISERV", "0000000011", "DSREFESOLI").toString(), "Folha");
    EXPECT_FALSE(cds.Lookup("NRSOLISERV", "0000000012", "DSREFESOLI").isValid());
    EXPECT_EQ(cds.RecNo(), 1) << "lookup does not move";

    // Locate searches the filtered rows only.
    cds.ApplyFilter("CDFILIAL = '0001'");
    EXPECT_FALSE(cds.Locate("DSREFESOLI", "Outra filial"));

    // Bookmarks survive filters and index order, and fail clearly for a deleted row.
    cds.ApplyFilter("");
    cds.Last();
    const Dataset::Bookmark mark = cds.GetBookmark();
    cds.setIndexFieldNames("DSREFESOLI");
    cds.First();
    cds.GotoBookmark(mark);
    EXPECT_EQ(cds.FieldByName("DSREFESOLI").AsString(), "Folha");
    cds.Delete();
    EXPECT_FALSE(cds.BookmarkValid(mark));
    EXPECT_THROW(cds.GotoBookmark(mark), EHomologa);
}

TEST(Dataset, IndexOrder)
{
    Dataset cds("cdsArqLib");
    cds.setFields({{"NRSOLISERV", FieldType::String, 10}, {"DSARQPATCH", FieldType::String, 250}});
    packet::Packet data;
    data.fields = cds.packetFields();
    data.rows = {{QString("0000000003"), QString("C.pas")}, {QString("0000000001"), QString("B.pas")},
                 {QString("0000000003"), QString("A.pas")}, {QString("0000000002"), QString("D.pas")}};
    cds.setData(data);
    cds.setRecNo(3);  // A.pas
    cds.setIndexFieldNames("NRSOLISERV");
    EXPECT_EQ(cds.FieldByName("DSARQPATCH").AsString(), "A.pas") << "the current row stays current";
    const auto files = [&] {
        QStringList list;
        for (cds.First(); !cds.Eof(); cds.Next())
            list << cds.FieldByName("DSARQPATCH").AsString();
        return list;
    };
    EXPECT_EQ(files(), QStringList({"B.pas", "D.pas", "C.pas", "A.pas"})) << "equal keys keep their order";
    cds.setIndexFieldNames("NRSOLISERV;DSARQPATCH");
    EXPECT_EQ(files(), QStringList({"B.pas", "D.pas", "A.pas", "C.pas"}));

    // New and changed rows take their place in the order.
    cds.Append();
    cds.FieldByName("NRSOLISERV").setAsString("0000000000");
    cds.FieldByName("DSARQPATCH").setAsString("Z.pas");
    cds.Post();
    EXPECT_EQ(cds.RecNo(), 1);
    cds.Last();
    cds.Edit();
    cds.FieldByName("NRSOLISERV").setAsString("0000000002");
    cds.Post();
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_EQ(files(), QStringList({"Z.pas", "B.pas", "C.pas", "D.pas", "A.pas"}));
    cds.setIndexFieldNames("");
    EXPECT_EQ(files(), QStringList({"C.pas", "B.pas", "A.pas", "D.pas", "Z.pas"}));
    EXPECT_THROW(cds.setIndexFieldNames("NOPE"), EHomologa);
}

TEST(Dataset, ChangeLogDeltaMergeAndCancel)
{
    Dataset cds("cdsGrupo");
    defineGroups(cds);
    cds.setData(groupsPacket(kGroups));
    EXPECT_EQ(cds.ChangeCount(), 0);

    cds.setRecNo(3);
    cds.Edit();
    cds.FieldByName("IDMARCADO").setAsString("N");
    cds.Post();
    cds.setRecNo(2);
    cds.Edit();
    cds.FieldByName("DSGRUPHOMOL").setAsString("Folha de pagamento");
    cds.Post();
    cds.Append();
    cds.FieldByName("CDGRUPHOMOL").setAsString("0000000006");
    cds.FieldByName("DSGRUPHOMOL").setAsString("Novo");
    cds.Post();
    cds.First();
    cds.Delete();
    EXPECT_EQ(cds.ChangeCount(), 4);

    const packet::Delta delta = cds.Delta();
    ASSERT_EQ(delta.changes.size(), 4);
    EXPECT_EQ(delta.fields.size(), 5);
    EXPECT_EQ(delta.changes[0].kind, packet::Change::Kind::Modify);
    EXPECT_EQ(delta.changes[0].oldValues[4].toString(), "S");
    EXPECT_EQ(delta.changes[0].newValues[4].toString(), "N");
    EXPECT_EQ(delta.changes[1].oldValues[1].toString(), "Folha");
    EXPECT_EQ(delta.changes[1].newValues[1].toString(), "Folha de pagamento");
    EXPECT_EQ(delta.changes[2].kind, packet::Change::Kind::Insert);
    EXPECT_EQ(delta.changes[2].newValues[0].toString(), "0000000006");
    EXPECT_EQ(delta.changes[3].kind, packet::Change::Kind::Delete);
    EXPECT_EQ(delta.changes[3].oldValues[0].toString(), "0000000001");
    const packet::Delta again = packet::Delta::fromJson(QJsonDocument::fromJson(QJsonDocument(delta.toJson()).toJson()).object());
    EXPECT_EQ(again.changes.size(), 4);
    EXPECT_EQ(again.changes[1].newValues, delta.changes[1].newValues);

    // Changing a row twice is one change with the first original; changing it back is none.
    cds.Locate("CDGRUPHOMOL", "0000000002");
    cds.Edit();
    cds.FieldByName("DSGRUPHOMOL").setAsString("Folha");
    cds.Post();
    EXPECT_EQ(cds.ChangeCount(), 3);
    // A new row deleted before saving leaves nothing behind.
    cds.Locate("CDGRUPHOMOL", "0000000006");
    cds.Delete();
    EXPECT_EQ(cds.ChangeCount(), 2);
    // Posting an edit with nothing changed adds nothing.
    cds.First();
    cds.Edit();
    cds.Post();
    EXPECT_EQ(cds.ChangeCount(), 2);

    // Cancel updates restores every row as loaded, deleted rows included.
    cds.CancelUpdates();
    EXPECT_EQ(cds.ChangeCount(), 0);
    EXPECT_EQ(codes(cds), QStringList({"0000000001", "0000000002", "0000000003", "0000000004", "0000000005"}));
    cds.Locate("CDGRUPHOMOL", "0000000003");
    EXPECT_EQ(cds.FieldByName("IDMARCADO").AsString(), "S");

    // Merge keeps the data as it stands and empties the log.
    cds.Edit();
    cds.FieldByName("IDMARCADO").setAsString("N");
    cds.Post();
    cds.First();
    cds.Delete();
    cds.MergeChangeLog();
    EXPECT_EQ(cds.ChangeCount(), 0);
    EXPECT_TRUE(cds.Delta().isEmpty());
    EXPECT_EQ(cds.RecordCount(), 4);
    EXPECT_EQ(cds.Data().rows.size(), 4);
    cds.Locate("CDGRUPHOMOL", "0000000003");
    EXPECT_EQ(cds.FieldByName("IDMARCADO").AsString(), "N");
    cds.CancelUpdates();
    EXPECT_EQ(cds.FieldByName("IDMARCADO").AsString(), "N") << "merged changes are not undone";
}

TEST(Dataset, CopyTakesPendingChanges)
{
    Dataset cds("cdsGrupo");
    defineGroups(cds);
    cds.setData(groupsPacket(kGroups));
    cds.Locate("CDGRUPHOMOL", "0000000005");
    cds.Edit();
    cds.FieldByName("IDMARCADO").setAsString("S");
    cds.Post();
    cds.ApplyFilter("IDSTGRUPHOM = '001'");  // the source's filter is not copied

    Dataset aux("cdsGrupoAux");
    defineGroups(aux);
    aux.ApplyFilter("IDMARCADO = 'S'");
    aux.CopyFrom(cds);
    EXPECT_EQ(codes(aux), QStringList({"0000000003", "0000000005"}));
    EXPECT_EQ(aux.ChangeCount(), 1);
    EXPECT_EQ(aux.Delta().changes[0].oldValues[4].toString(), "N");

    // The copy is independent of its source.
    aux.First();
    aux.Edit();
    aux.FieldByName("DSGRUPHOMOL").setAsString("Só na cópia");
    aux.Post();
    cds.ApplyFilter("");
    cds.Locate("CDGRUPHOMOL", "0000000003");
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Estoque");
    EXPECT_EQ(cds.ChangeCount(), 1);

    // A copy into a dataset without fields takes the source's fields, labels included.
    Dataset loose;
    loose.CopyFrom(cds);
    EXPECT_EQ(loose.RecordCount(), 5);
    EXPECT_EQ(loose.FieldByName("DSGRUPHOMOL").DisplayLabel(), "Nome do Grupo");
}

TEST(Dataset, DisplayTextsAndMasks)
{
    Dataset cds;
    cds.setFields({{"CDRELEASEGHOM", FieldType::String, 10, "Release", true, false, "9.99.999;0; "},
                   {"CDARVPROD", FieldType::String, 20, "Produto", false, false, "A.A.AA;0; "},
                   {"IDSTGRUPHOM", FieldType::String, 3, "Status"}});
    cds.fieldDef("IDSTGRUPHOM").onGetText = [](const RowView &row, const QVariant &value) {
        return value.toString() + "/" + row.AsString("CDARVPROD");
    };
    cds.Append();
    cds.FieldByName("CDRELEASEGHOM").setAsString("501023");
    cds.FieldByName("CDARVPROD").setAsString("P5AB");
    cds.FieldByName("IDSTGRUPHOM").setAsString("001");
    cds.Post();
    EXPECT_EQ(cds.FieldByName("CDRELEASEGHOM").DisplayText(), "5.01.023");
    EXPECT_EQ(cds.FieldByName("CDRELEASEGHOM").AsString(), "501023");
    EXPECT_EQ(cds.FieldByName("CDARVPROD").DisplayText(), "P.5.AB");
    EXPECT_EQ(cds.FieldByName("IDSTGRUPHOM").DisplayText(), "001/P5AB");
    EXPECT_EQ(Dataset::formatMask("9.99.999;0; ", ""), "");
    EXPECT_EQ(Dataset::formatMask("9.99.999;0; ", "50"), "5.0");
    EXPECT_EQ(Dataset::formatMask("9.99.999;1; ", "5.01.023"), "5.01.023");
}

// What a call sends over HTTP is written straight from the packet or the delta: it must read
// back as the same JSON, whatever the texts hold.
TEST(PacketText, TheWrittenTextReadsBackAsTheSameJson)
{
    using packet::FieldType;
    const QList<packet::Field> fields{{QStringLiteral("CODIGO"), FieldType::FixedString, 10},
                                      {QStringLiteral("TEXTO"), FieldType::String, 0},
                                      {QStringLiteral("QUANDO"), FieldType::DateTime, 0},
                                      {QStringLiteral("ANEXO"), FieldType::Blob, 0}};
    const QStringList texts{QString(), QStringLiteral("simples"), QStringLiteral("aspas \" e barra \\"),
                            QStringLiteral("linhas\r\n\tcom tab"), QString::fromUtf8("controle \x01 e \x1f"),
                            QString::fromUtf8("ação 中文 😀"), QString(QChar(0xD800)) + u'x', QStringLiteral("x") + QChar(0xDC00)};
    packet::Packet data;
    data.fields = fields;
    for (const QString &text : texts)
        data.rows.append({QStringLiteral("0000000001"), text, QDateTime(QDate(2026, 12, 7), QTime(18, 5, 9)),
                          QByteArray("\x00\xff bytes", 8)});
    data.rows.append({QVariant(), QVariant(), QVariant(), QVariant()});
    packet::Delta delta;
    delta.fields = fields;
    delta.changes = {{packet::Change::Kind::Insert, {}, data.rows[1]},
                     {packet::Change::Kind::Modify, data.rows[2], data.rows[5]},
                     {packet::Change::Kind::Delete, data.rows.last(), {}}};

    QByteArray text;
    data.appendJson(text);
    EXPECT_EQ(QJsonDocument::fromJson(text).object(), data.toJson()) << text.toStdString();
    text.clear();
    delta.appendJson(text);
    EXPECT_EQ(QJsonDocument::fromJson(text).object(), delta.toJson()) << text.toStdString();
    // A lone surrogate goes as its escape, so that the server sees it and refuses it.
    text.clear();
    packet::appendJsonString(text, texts[6]);
    EXPECT_EQ(text, "\"\\ud800x\"");
}

TEST(PacketText, DatesAreReadAndWrittenInTheirOneShape)
{
    const struct {
        const char *text;
        QDateTime expected;  // invalid: refused
    } cases[] = {
        {"2026-12-07T18:05:09", QDateTime(QDate(2026, 12, 7), QTime(18, 5, 9))},
        {"0999-01-01T00:00:00", QDateTime(QDate(999, 1, 1), QTime(0, 0))},
        {"2024-02-29T23:59:59", QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59))},
        {"2026-02-29T10:00:00", {}},
        {"2026-12-07T24:00:00", {}},
        {"2026-12-07 18:05:09", {}},
        {"2026-12-07T18:05", {}},
        {"2026-1a-07T18:05:09", {}},
    };
    for (const auto &c : cases) {
        const QJsonValue text(QString::fromLatin1(c.text));
        if (!c.expected.isValid()) {
            EXPECT_THROW(packet::valueFromJson(text, packet::FieldType::DateTime), packet::PacketError) << c.text;
            continue;
        }
        EXPECT_EQ(packet::valueFromJson(text, packet::FieldType::DateTime).toDateTime(), c.expected) << c.text;
        EXPECT_EQ(packet::valueToJson(c.expected, packet::FieldType::DateTime), text) << c.text;
    }
}

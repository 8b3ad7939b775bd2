#include "host/dataset.h"
#include "host/datasetfile.h"
#include "platform/files.h"

#include "support/testenv.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

using packet::FieldType;

void defineMixed(Dataset &dataset)
{
    dataset.setFields({{"CDFILIAL", FieldType::String, 4},
                       {"IDENTIFICA", FieldType::FixedString, 1},
                       {"DTALFASETRAM", FieldType::DateTime},
                       {"DSALTPROCHOMOL", FieldType::Blob},
                       {"DSREFESOLI", FieldType::String, 60}});
}

void addRow(Dataset &dataset, const QVariantList &values)
{
    dataset.Append();
    for (int i = 0; i < values.size(); ++i)
        dataset.Fields(i).setValue(values[i]);
    dataset.Post();
}

// Texts that break naive writers: quotes, markup, accents, line breaks, leading blanks.
const QString kAwkward = QStringLiteral("  \"Aspas\" <tag> & 'apóstrofo'\r\nçãé ");

}  // namespace

TEST(DatasetPackets, JsonRoundTripKeepsTypesAndNulls)
{
    Dataset source;
    defineMixed(source);
    const QDateTime when(QDate(2021, 12, 31), QTime(23, 59, 58));
    addRow(source, {"0001", "1", when, QByteArray("\x00\x01\xff" "bin\xc3\xa1rio", 11), kAwkward});
    addRow(source, {"0002", QVariant(), QVariant(), QVariant(), ""});

    const QByteArray json = QJsonDocument(source.Data().toJson()).toJson();
    Dataset target;
    defineMixed(target);
    target.setData(packet::Packet::fromJson(QJsonDocument::fromJson(json).object()));
    ASSERT_EQ(target.RecordCount(), 2);
    EXPECT_EQ(target.FieldByName("DTALFASETRAM").AsDateTime(), when);
    EXPECT_EQ(target.FieldByName("DSALTPROCHOMOL").Value().toByteArray(), QByteArray("\x00\x01\xff" "bin\xc3\xa1rio", 11));
    EXPECT_EQ(target.FieldByName("DSREFESOLI").AsString(), kAwkward);
    target.Next();
    EXPECT_TRUE(target.FieldByName("IDENTIFICA").IsNull());
    EXPECT_TRUE(target.FieldByName("DTALFASETRAM").IsNull());
    EXPECT_FALSE(target.FieldByName("DSREFESOLI").IsNull()) << "an empty text is not a null";
    EXPECT_EQ(target.Data().toJson(), source.Data().toJson());

    // A packet whose field has another type is converted on loading.
    packet::Packet texts;
    texts.fields = {{"DTALFASETRAM", FieldType::String, 20}};
    texts.rows = {{QString("2021-12-31T23:59:58")}};
    target.setData(texts);
    EXPECT_EQ(target.FieldByName("DTALFASETRAM").AsDateTime(), when);
}

TEST(DatasetPackets, XmlFileRoundTripWithChangeLog)
{
    MountedDrive drive;
    Dataset source("cdsdatagpatch");
    defineMixed(source);
    const QDateTime when(QDate(2020, 5, 6), QTime(7, 8, 9, 120));
    addRow(source, {"0001", "1", when, QByteArray("blob\x00z", 6), kAwkward});
    addRow(source, {"0002", "2", QVariant(), QVariant(), ""});
    addRow(source, {"0003", "3", QVariant(), QVariant(), "apagar"});
    source.MergeChangeLog();
    // Pending: one change, one deletion, one new row.
    source.First();
    source.Edit();
    source.FieldByName("DSREFESOLI").setAsString("alterado");
    source.Post();
    source.Locate("CDFILIAL", "0003");
    source.Delete();
    addRow(source, {"0004", "4", QVariant(), QVariant(), "novo"});

    ASSERT_TRUE(platform::files::forceDirectories("C:\\subversion\\date"));
    source.SaveToFile("C:\\subversion\\date\\teste.cds");
    const QByteArray xml = drive.readFile("subversion/date/teste.cds");
    EXPECT_TRUE(xml.contains("<DATAPACKET Version=\"2.0\">"));
    EXPECT_TRUE(xml.contains("<METADATA>"));
    EXPECT_TRUE(xml.contains("attrname=\"CDFILIAL\" fieldtype=\"string\" WIDTH=\"4\""));
    EXPECT_TRUE(xml.contains("fieldtype=\"dateTime\""));
    EXPECT_TRUE(xml.contains("DTALFASETRAM=\"20200506T07:08:09120\""));
    EXPECT_TRUE(xml.contains("<ROWDATA>"));
    EXPECT_EQ(platform::files::listDir("C:\\subversion\\date"), QStringList({"teste.cds"})) << "no temporary file left";

    Dataset loaded;
    loaded.LoadFromFile("C:\\SUBVERSION\\DATE\\TESTE.CDS");
    EXPECT_EQ(loaded.FieldCount(), 5);
    EXPECT_EQ(loaded.FieldByName("IDENTIFICA").DataType(), FieldType::FixedString);
    EXPECT_EQ(loaded.FieldByName("IDENTIFICA").Size(), 1);
    EXPECT_EQ(loaded.RecordCount(), 3);
    EXPECT_EQ(loaded.FieldByName("DSREFESOLI").AsString(), "alterado");
    EXPECT_EQ(loaded.FieldByName("DTALFASETRAM").AsDateTime(), when);
    EXPECT_EQ(loaded.FieldByName("DSALTPROCHOMOL").Value().toByteArray(), QByteArray("blob\x00z", 6));
    loaded.Next();
    EXPECT_TRUE(loaded.FieldByName("DTALFASETRAM").IsNull());
    EXPECT_EQ(loaded.FieldByName("DSREFESOLI").AsString(), "");
    EXPECT_FALSE(loaded.FieldByName("DSREFESOLI").IsNull());

    // The change log survives the file: same delta, and cancelling it restores the original.
    ASSERT_EQ(loaded.ChangeCount(), 3);
    const packet::Delta before = source.Delta();
    const packet::Delta after = loaded.Delta();
    ASSERT_EQ(after.changes.size(), before.changes.size());
    QList<packet::Change::Kind> kinds;
    for (const packet::Change &change : after.changes)
        kinds << change.kind;
    EXPECT_TRUE(kinds.contains(packet::Change::Kind::Modify));
    EXPECT_TRUE(kinds.contains(packet::Change::Kind::Delete));
    EXPECT_TRUE(kinds.contains(packet::Change::Kind::Insert));
    loaded.CancelUpdates();
    EXPECT_EQ(loaded.RecordCount(), 3);
    loaded.First();
    EXPECT_EQ(loaded.FieldByName("DSREFESOLI").AsString(), kAwkward);
    EXPECT_TRUE(loaded.Locate("CDFILIAL", "0003"));

    // Saving again replaces the file; into a dataset with fields, values are matched by name.
    loaded.SaveToFile("C:\\subversion\\date\\teste.cds");
    Dataset narrow;
    narrow.setFields({{"dsrefesoli", FieldType::String, 60}, {"CDFILIAL", FieldType::String, 4}, {"NOVO", FieldType::String, 5}});
    narrow.LoadFromFile("C:\\subversion\\date\\teste.cds");
    EXPECT_EQ(narrow.RecordCount(), 3);
    EXPECT_EQ(narrow.FieldByName("DSREFESOLI").AsString(), kAwkward);
    EXPECT_EQ(narrow.FieldByName("CDFILIAL").AsString(), "0001");
    EXPECT_TRUE(narrow.FieldByName("NOVO").IsNull());
}

TEST(DatasetPackets, ForeignFilesAndFaults)
{
    MountedDrive drive;
    // A menu dataset written by another program: numeric fields are kept as they came.
    drive.writeFile("menu.cds", R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="CDMENUITEM" fieldtype="string" WIDTH="20"/>
<FIELD attrname="DSCAPTION" fieldtype="string" WIDTH="80"/>
<FIELD attrname="NRORDEM" fieldtype="i4"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW CDMENUITEM="Versao" DSCAPTION="1.00.000" NRORDEM="7"/>
<ROW CDMENUITEM="SAIR" DSCAPTION="Sair" NRORDEM="8"/>
</ROWDATA></DATAPACKET>)");
    Dataset menu;
    menu.LoadFromFile("C:\\menu.cds");
    menu.ApplyFilter("UPPER(CDMENUITEM) = 'VERSAO'");
    ASSERT_EQ(menu.RecordCount(), 1);
    menu.Edit();
    menu.FieldByName("DSCAPTION").setAsString("1.01.002");
    menu.Post();
    menu.SaveToFile("C:\\menu.cds");
    const QByteArray xml = drive.readFile("menu.cds");
    EXPECT_TRUE(xml.contains("attrname=\"NRORDEM\" fieldtype=\"i4\"")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("NRORDEM=\"7\""));
    EXPECT_TRUE(xml.contains("DSCAPTION=\"1.01.002\""));

    // Faults are clear errors and leave the dataset as it was.
    Dataset target;
    target.setFields({{"A", FieldType::String, 5}});
    packet::Packet one;
    one.fields = target.packetFields();
    one.rows = {{QString("x")}};
    target.setData(one);
    const QList<QByteArray> broken = {"", "<DATAPACKET", "<OTHER/>", "<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>"};
    for (const QByteArray &text : broken) {
        EXPECT_THROW(datasetfile::fromXml(target, text), EHomologa) << text.toStdString();
        EXPECT_EQ(target.RecordCount(), 1);
    }
    Dataset dated;
    dated.setFields({{"D", FieldType::DateTime}});
    EXPECT_THROW(datasetfile::fromXml(dated, R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="D" fieldtype="dateTime"/></FIELDS></METADATA>
<ROWDATA><ROW D="ontem"/></ROWDATA></DATAPACKET>)"),
                 EHomologa);
    EXPECT_THROW(target.LoadFromFile("C:\\nao\\existe.cds"), std::exception);
    EXPECT_THROW(target.SaveToFile("Z:\\fora\\de\\montagem.cds"), std::exception);
}

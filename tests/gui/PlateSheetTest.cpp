// The plate sheet window: a spreadsheet's block pasted over a 96-well plate,
// previewed field by field, applied, read back file by file and undone.
#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QStatusBar>

#include "GuiFixture.h"
#include "platform/TextCodec.h"
#include "platform/qt/MessageTableModel.h"
#include "res/Resource.h"
#include "views/PlateSheetWindow.h"

namespace {

class PlateSheetTest : public GuiTest {
  protected:
    static std::string Well(int i) {
        return std::string(1, static_cast<char>('A' + i / 12)) + (i % 12 < 9 ? "0" : "") +
               std::to_string(i % 12 + 1);
    }
    void SetUp() override {
        GuiTest::SetUp();
        for (int i = 0; i < 96; ++i) {
            auto root = ExtendedHeader::MakeRoot();
            AddAt(*root, "RUN.GAIN", LongValue(5));
            AddAt(*root, "SAMPLE.NAME", HeaderElement(std::string_view("S" + std::to_string(i))));
            WriteAll(dir.File(Well(i) + ".tkv"),
                     SampleFile(*root, SampleRecord(), 300, static_cast<std::uint32_t>(i)));
        }
        ASSERT_TRUE(Start({dir.File("A01.tkv")}));
    }
    std::string Stored(int i, const std::string& path) {
        return GuiTest::Stored(Well(i) + ".tkv", path);
    }
};

TEST_F(PlateSheetTest, APasted96RowBlockIsPreviewedAppliedAndUndone) {
    const auto before = FolderContents(dir.Path());
    ASSERT_TRUE(Frame().Commands().Execute(ID_VIEW_PLATE_SHEET));
    CPlateSheetWindow* sheet = Frame().PlateSheet();
    ASSERT_NE(sheet, nullptr);
    PlateSheetModel& model = sheet->Model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_TRUE(sheet->AddColumn("SAMPLE.NAME"));
    ASSERT_TRUE(sheet->AddColumn("RUN.GAIN"));
    EXPECT_FALSE(sheet->AddColumn("NO.SUCH"));
    EXPECT_EQ(messages.shown.back(), "The open file has no value at NO.SUCH.");
    ASSERT_EQ(model.rowCount(), 96);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.index(40, 1).data().toString(), "S40");
    auto paste = [&](const QString& text, int row, int column) {
        QApplication::clipboard()->setText(text);
        sheet->Table()->setCurrentIndex(model.index(row, column));
        sheet->findChild<QAction*>("Paste")->trigger();
    };

    // A spreadsheet's copy of two columns: new names, the gains as they are.
    QString block;
    for (int i = 0; i < 96; ++i)
        block += QString::fromStdString("Sample " + Well(i) + ", lot 7\t5\r\n");
    paste(block, 0, 1);
    ASSERT_EQ(sheet->Preview().rowCount(), 96);
    EXPECT_EQ(sheet->Preview().Table().rows[95],
              (Texts{"H12.tkv", "SAMPLE.NAME", "S95", "Sample H12, lot 7"}));
    EXPECT_TRUE(model.index(7, 1).data(Qt::BackgroundRole).isValid()) << "changed: highlighted";
    EXPECT_FALSE(model.index(7, 2).data(Qt::BackgroundRole).isValid()) << "the same gain";

    // A block too wide, and a value that does not parse: nothing of either is taken.
    paste("a\t1\tb\r\n", 0, 1);
    EXPECT_TRUE(Contains(messages.shown.back(), "Nothing was pasted"));
    paste("x\r\n1,2,zz\r\n", 3, 2);
    EXPECT_TRUE(Contains(messages.shown.back(),
                         "row 2, column 1 (A05.tkv, RUN.GAIN): Can't convert element at index 2"));
    EXPECT_EQ(sheet->Preview().rowCount(), 96);
    EXPECT_FALSE(model.setData(model.index(3, 2), "many", Qt::EditRole));

    sheet->findChild<QAction*>("Apply")->trigger();
    const QString summary = "Plate sheet: 96 fields written in 96 files, 0 failed";
    EXPECT_EQ(sheet->statusBar()->currentMessage(), summary);
    EXPECT_EQ(Frame().statusBar()->currentMessage(), summary);
    EXPECT_EQ(sheet->Preview().rowCount(), 0);
    EXPECT_FALSE(model.index(7, 1).data(Qt::BackgroundRole).isValid());
    for (int i = 0; i < 96; ++i) {
        ASSERT_EQ(Stored(i, "SAMPLE.NAME"), "Sample " + Well(i) + ", lot 7") << Well(i);
        ASSERT_EQ(Stored(i, "RUN.GAIN"), "5") << Well(i);
    }
    EXPECT_EQ(TextCodec::ToUtf8(At("SAMPLE.NAME")->value.Format()), "Sample A01, lot 7")
        << "the open file is shown as written";

    // Undo Last Folder Save puts every file back byte for byte.
    messages.answers = {MessageAnswer::Yes};
    sheet->findChild<QAction*>("UndoFolderSave")->trigger();
    EXPECT_TRUE(Contains(messages.shown.back(), "96 files were put back"));
    EXPECT_EQ(FolderContents(dir.Path()), before);
    EXPECT_EQ(model.index(40, 1).data().toString(), "S40");
    EXPECT_EQ(TextCodec::ToUtf8(At("SAMPLE.NAME")->value.Format()), "S0");
    // Nothing is left to undo; the Edit menu's command says so.
    ASSERT_TRUE(Enabled(ID_EDIT_UNDO_FOLDER_SAVE));
    ASSERT_TRUE(Frame().Commands().Execute(ID_EDIT_UNDO_FOLDER_SAVE));
    EXPECT_TRUE(Contains(messages.shown.back(), "There is no folder save to undo in "));
}

TEST_F(PlateSheetTest, ASampleSheetBringsItsColumnsAndValuesAndNamesItsFaults) {
    Frame().ShowPlateSheet();
    CPlateSheetWindow& sheet = *Frame().PlateSheet();
    ASSERT_TRUE(sheet.AddColumn("RUN.GAIN"));
    // A sheet larger than any sample sheet is refused before it is read.
    WriteAll(dir.File("huge.csv"), Bytes{'f'});
    std::filesystem::resize_file(dir.File("huge.csv"), (64u << 20) + 1);
    EXPECT_FALSE(sheet.OpenSampleSheet(dir.File("huge.csv")));
    EXPECT_EQ(messages.shown.back(),
              "huge.csv: larger than 64 MB, more than a sample sheet may hold.");
    // SAMPLE.NAME untyped: each file's stored type, as an exported sheet has it. The
    // rules of a sheet are the import's (TkvHdrSheetTest); here the window's use of them.
    const std::string csv =
        "file,SAMPLE.NAME,QC.LOT:long\r\nA01.tkv,N0,0\r\nA04.tkv,S3,3\r\n"
        "A06.tkv,N5,x\r\nZ99.tkv,a,1\r\n";
    WriteAll(dir.File("sheet.csv"), Bytes(csv.begin(), csv.end()));
    ASSERT_TRUE(sheet.OpenSampleSheet(dir.File("sheet.csv")));
    for (const std::string f :
         {"sheet.csv: row 4, column 3: Can't convert element at index 0",
          "sheet.csv: row 5, column 1: no file 'Z99.tkv'", "sheet.csv: no row for A11.tkv"})
        EXPECT_TRUE(Contains(messages.shown.back(), f));
    PlateSheetModel& model = sheet.Model();
    ASSERT_EQ(model.columnCount(), 3) << "the sheet's columns replace the window's";
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "SAMPLE.NAME");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "QC.LOT (Long)");
    // A cell typed in meets the rules of a sheet's cell: one the files could not
    // hold is refused.
    std::string error;
    EXPECT_FALSE(model.SetCellText(1, 0, std::string(ItemCodec::kMaxPayload, 'x'), &error));
    EXPECT_EQ(error, "the value is longer than an item can hold");
    // Names of A01 and A06 (A04 keeps its own), lots of A01 and A04 (A06's did not parse).
    EXPECT_EQ(sheet.Preview().rowCount(), 4);
    sheet.findChild<QAction*>("Apply")->trigger();
    EXPECT_EQ(Stored(0, "QC.LOT"), "0");
    EXPECT_EQ(Stored(3, "QC.LOT"), "3");
    EXPECT_EQ(Stored(5, "SAMPLE.NAME"), "N5");
    EXPECT_EQ(Stored(5, "QC.LOT"), "(none)");
    EXPECT_EQ(Stored(10, "SAMPLE.NAME"), "S10");
}

}  // namespace

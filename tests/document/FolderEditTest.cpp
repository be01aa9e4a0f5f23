// The folder-wide edit: pending bookkeeping, cancel, and the merge into every
// sample file of the folder.

#include <sys/stat.h>

#include <algorithm>

#include "format/XorWords.h"
#include "support/DocumentFixture.h"

namespace {

// The stored block of a file.
Bytes BlockOf(const Bytes& file) {
    const StandardHeader r = RecordOf(file);
    const auto start = file.size() - r.extendedHeaderOffset;
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(start),
                 file.begin() + static_cast<std::ptrdiff_t>(start + r.extendedHeaderLength));
}

// The checksum's share of a record: the words of its bytes before the checksum.
std::uint32_t RecordWord(const StandardHeader& r) {
    const auto bytes = r.ToBytes();
    return XorWords(std::span(bytes).first(StandardHeader::kChecksumOffset));
}

class FolderEditTest : public ::testing::Test {
  protected:
    FolderEditTest() : doc(messages, permission), view(log) { doc.AddView(&view); }

    // A folder of sample files, each with its own tree; returns the path.
    std::string Put(const std::string& name, const HeaderNode& root, StandardHeader record,
                    std::size_t dataSize = 2000) {
        const std::string path = dir.File(name);
        StandardHeader::SetText(record.sampleName, name);
        WriteAll(path, SampleFile(root, record, dataSize,
                                  static_cast<std::uint32_t>(name.size() * 31 + name[0])));
        before[name] = ReadAll(path);
        return path;
    }

    // What a merged file must hold: the tree the merge must give, encoded whole
    // by the writer (not by the in-place path code under test), behind the
    // sample data as it was; the record repaired, its checksum carrying the same
    // data word.
    Bytes Expected(const std::string& name, const HeaderNode& tree) {
        const Bytes& old = before.at(name);
        const StandardHeader r = RecordOf(old);
        const Bytes block = EncodeExtendedHeaderBlock(tree);
        StandardHeader repaired = r;
        repaired.version = std::max(r.version, 1.1f);
        repaired.magicNumber = StandardHeader::kMagic;
        const std::uint32_t dataWord = r.checksum ^ RecordWord(repaired) ^ XorWords(BlockOf(old));
        StandardHeader placed = RecordOf(MakeFileBytes({}, block, repaired));  // Offset, Length
        placed.checksum = RecordWord(placed) ^ XorWords(block) ^ dataWord;
        return MakeFileBytes(Bytes(old.begin(), old.end() - r.extendedHeaderOffset), block, placed);
    }

    bool Unchanged(const std::string& name) { return ReadAll(dir.File(name)) == before.at(name); }

    TempDir dir;
    RecordingMessages messages;
    SettablePermission permission;
    CTKVEditorDoc doc;
    std::vector<HintRecord> log;
    RecordingView view;
    std::map<std::string, Bytes> before;
};

TEST_F(FolderEditTest, SaveAsksAndAppliesPendingEntriesToEveryFileOfTheFolder) {
    auto standard = ExtendedHeader::MakeRoot();
    AddAt(*standard, "Run.Gain", LongValue(5));
    AddAt(*standard, "Run.Temp", FloatValue(60));
    AddAt(*standard, "Sample", HeaderElement(std::string_view("A01")));
    auto gainIsFloat = ExtendedHeader::MakeRoot();
    AddAt(*gainIsFloat, "Run.Gain", FloatValue(2.5f));
    auto runIsLeaf = ExtendedHeader::MakeRoot();
    AddAt(*runIsLeaf, "Run", LongValue(77));
    auto gainIsList = ExtendedHeader::MakeRoot();
    AddAt(*gainIsList, "Run.Gain.Inner", LongValue(1));
    auto empty = ExtendedHeader::MakeRoot();

    const std::string a = Put("a.tkv", *standard, SampleRecord(), 3000);
    Put("b.tkv", *gainIsFloat, SampleRecord());
    Put("c.tkv", *runIsLeaf, SampleRecord());
    Put("ca.tkv", *gainIsList, SampleRecord());
    Put("d.pkv", *standard, SampleRecord());
    StandardHeader v10 = SampleRecord();
    v10.version = 1.0f;
    v10.magicNumber = {'o', 'l', 'd', '!'};
    Put("e.tkv", *empty, v10);
    Put("f.tkv", *standard, SampleRecord());
    ::chmod(dir.File("f.tkv").c_str(), 0444);
    Put("g.tkv", *standard, SampleRecord());
    {  // g.tkv's block does not decode: its first label becomes an invalid item
        Bytes g = before["g.tkv"];
        g[g.size() - RecordOf(g).extendedHeaderOffset] = 0xFD;
        WriteAll(dir.File("g.tkv"), g);
        before["g.tkv"] = g;
    }
    Put("H.TKV", *standard, SampleRecord());
    std::filesystem::create_directory(dir.File("folder.tkv"));
    WriteAll(dir.File("notes.txt"), Bytes{1, 2, 3});
    before["notes.txt"] = Bytes{1, 2, 3};

    ASSERT_TRUE(doc.OpenDocumentFile(a));
    doc.SetModified(true);
    doc.SetFolderEditMode(true);
    EXPECT_FALSE(doc.IsModified());
    // Not pending: a deletion and a paste reach no file. With nothing pending a
    // Save succeeds, asks nothing, writes nothing and leaves the flag.
    doc.DeleteEntry(FindAt(*doc.m_pRoot, "Sample"));
    doc.SetCopiedEntry(*FindAt(*doc.m_pRoot, "Run"));
    auto pasted = doc.GetCopiedEntry()->DeepCopy();
    pasted->label = "RUN2";
    HeaderTree::Insert(*doc.m_pRoot, std::move(pasted), doc.m_pRoot.get());
    ASSERT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.DoSave(a));
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_TRUE(doc.IsModified());
    EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(9));
    InsertList(doc, "New");
    InsertLeaf(doc, "New.X", HeaderElement(std::u16string_view(u"x\u20ac")));
    // Cancel writes nothing either.
    messages.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(doc.DoSave(a));
    for (const auto& [name, bytes] : before) EXPECT_TRUE(Unchanged(name)) << name;
    messages.asked.clear();
    messages.tables.clear();

    std::vector<std::pair<std::size_t, std::size_t>> progress, eachOnce;
    doc.m_folderProgress = [&](std::size_t d, std::size_t t) { progress.emplace_back(d, t); };
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(doc.DoSave(a));
    EXPECT_EQ(messages.asked,
              std::vector<std::string>{"All files in this folder will be modified.  Is this OK ?"});
    // The question came with the fields the Save changes: not those the merge
    // keeps (another type, a value on the way, a list), nor read-only or broken files.
    ASSERT_EQ(messages.tables.size(), 1u);
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(messages.tables[0].rows, (Rows{{"H.TKV", "New.X", "", "x\u20ac"},
                                             {"H.TKV", "Run.Gain", "5", "9"},
                                             {"a.tkv", "New.X", "", "x\u20ac"},
                                             {"a.tkv", "Run.Gain", "5", "9"},
                                             {"b.tkv", "New.X", "", "x\u20ac"},
                                             {"c.tkv", "New.X", "", "x\u20ac"},
                                             {"ca.tkv", "New.X", "", "x\u20ac"},
                                             {"e.tkv", "New.X", "", "x\u20ac"},
                                             {"e.tkv", "Run.Gain", "", "9"}}));
    // Every file counts as done once, skipped, failed and unchanged ones too.
    for (std::size_t k = 1; k <= 8; ++k) eachOnce.emplace_back(k, 8);
    EXPECT_EQ(progress, eachOnce);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{
                  "Some files in this folder were read-only and were not modified."});
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(CTKVEditorDoc::HasPendingChanges(*doc.m_pRoot));

    // Each file's own tree with New.X added, and Run.Gain set where it is a Long
    // or missing (another type, a leaf Run or a list Gain stay as they are).
    auto merged = [](const HeaderNode& own, bool setGain) {
        auto tree = own.DeepCopy();
        AddAt(*tree, "New.X", HeaderElement(std::u16string_view(u"x\u20ac")));
        if (setGain) {
            if (HeaderNode* g = FindAt(*tree, "Run.Gain"))
                g->value = LongValue(9);
            else
                AddAt(*tree, "Run.Gain", LongValue(9));
        }
        return tree;
    };
    const std::pair<const char*, std::unique_ptr<HeaderNode>> expected[] = {
        {"a.tkv", merged(*standard, true)},     {"H.TKV", merged(*standard, true)},
        {"b.tkv", merged(*gainIsFloat, false)}, {"c.tkv", merged(*runIsLeaf, false)},
        {"ca.tkv", merged(*gainIsList, false)}, {"e.tkv", merged(*empty, true)}};
    for (const auto& [name, tree] : expected)
        EXPECT_EQ(ReadAll(dir.File(name)), Expected(name, *tree)) << name;
    for (const char* name : {"d.pkv", "f.tkv", "g.tkv", "notes.txt"})
        EXPECT_TRUE(Unchanged(name)) << name;

    EXPECT_EQ(doc.m_standardHeader, RecordOf(ReadAll(a))) << "the document keeps its file's record";

    // No saves this document only; its entries stay pending for the folder.
    EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(10));
    const auto afterYes = FolderContents(dir.Path());
    messages.answers = {MessageAnswer::No};
    EXPECT_TRUE(doc.DoSave(a));
    auto now = FolderContents(dir.Path());
    EXPECT_NE(now.at("a.tkv"), afterYes.at("a.tkv"));
    now["a.tkv"] = afterYes.at("a.tkv");
    EXPECT_EQ(now, afterYes);
    EXPECT_TRUE(CTKVEditorDoc::HasPendingChanges(*doc.m_pRoot));

    doc.SetFolderEditMode(false);
    EXPECT_TRUE(doc.IsModified()) << "leaving the mode brings back the flag saved on entering it";
}

TEST_F(FolderEditTest, PendingBookkeepingAndTheModeSwitch) {
    std::size_t modeHints = 0;
    view.onUpdate = [&](CView*, int hint, void*) { modeHints += hint == HINT_FOLDER_MODE_CHANGED; };
    doc.SetFolderEditMode(true);
    doc.SetFolderEditMode(true);
    EXPECT_EQ(modeHints, 1u) << "only a change of mode is announced";
    HeaderNode* list = InsertList(doc, "L");
    HeaderNode* leaf = InsertLeaf(doc, "L.X", LongValue(1));
    EXPECT_TRUE(doc.IsModified());
    doc.SetFolderEditMode(false);
    EXPECT_EQ(modeHints, 2u);
    EXPECT_FALSE(doc.IsModified()) << "back to the flag from before the mode";
    HeaderNode* plain = InsertLeaf(doc, "P", LongValue(2));
    EXPECT_TRUE(CTKVEditorDoc::IsPendingInsertion(*list));
    EXPECT_TRUE(CTKVEditorDoc::IsPendingInsertion(*leaf));
    EXPECT_FALSE(CTKVEditorDoc::IsPendingInsertion(*plain));
    doc.SetFolderEditMode(true);
    EditValue(doc, plain, LongValue(3));
    EXPECT_FALSE(CTKVEditorDoc::IsPendingInsertion(*plain)) << "an edit keeps the old value";
    EXPECT_TRUE(CTKVEditorDoc::HasPendingChanges(*doc.m_pRoot));

    log.clear();
    doc.ClearPending(*doc.m_pRoot);
    EXPECT_FALSE(CTKVEditorDoc::HasPendingChanges(*doc.m_pRoot));
    EXPECT_EQ(log, (std::vector<HintRecord>{{&view, nullptr, HINT_ENTRY_CHANGED, list, "L"},
                                            {&view, nullptr, HINT_ENTRY_CHANGED, leaf, "X"},
                                            {&view, nullptr, HINT_ENTRY_CHANGED, plain, "P"}}))
        << "pre-order, label order";
}

TEST_F(FolderEditTest, CancelFieldTakesBackEditsAndInsertions) {
    HeaderNode* gain = InsertLeaf(doc, "Run.Gain", LongValue(5));
    HeaderNode* keep = InsertLeaf(doc, "Run.Keep", LongValue(1));
    doc.SetFolderEditMode(true);
    EditValue(doc, gain, LongValue(6));
    EditValue(doc, gain, LongValue(7));
    HeaderNode* added = InsertList(doc, "Run.Added");
    InsertLeaf(doc, "Run.Added.Deep", LongValue(1));
    HeaderTree::Insert(*added, keep->DeepCopy(), doc.m_pRoot.get());  // pasted below
    HeaderNode* newTop = InsertLeaf(doc, "Top", LongValue(3));
    doc.SetModified(false);

    log.clear();
    doc.CancelField(FindAt(*doc.m_pRoot, "Run"));
    EXPECT_EQ(gain->value.GetLong(0), 6) << "the value after the first edit, not the file's";
    EXPECT_FALSE(gain->pending);
    EXPECT_EQ(FindAt(*doc.m_pRoot, "Run.Added"), nullptr) << "a pending list goes whole";
    EXPECT_EQ(FindAt(*doc.m_pRoot, "Run")->children.size(), 2u) << "its emptied place is removed";
    EXPECT_NE(FindAt(*doc.m_pRoot, "Run.Keep"), nullptr);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(log, (std::vector<HintRecord>{{&view, nullptr, HINT_ENTRY_REMOVING, added, "Added"},
                                            {&view, nullptr, HINT_ENTRY_CHANGED, gain, "Gain"}}));

    log.clear();
    doc.CancelField(newTop);
    EXPECT_EQ(FindAt(*doc.m_pRoot, "Top"), nullptr)
        << "a pending insertion, cancelled directly, is deleted";
    EXPECT_EQ(log, (std::vector<HintRecord>{{&view, nullptr, HINT_ENTRY_REMOVING, newTop, "Top"}}));
    EXPECT_FALSE(CTKVEditorDoc::HasPendingChanges(*doc.m_pRoot));
}

}  // namespace

// The document: open, save, titles, read-only, copy buffer, delete and hints.

#include <sys/stat.h>

#include "format/XorWords.h"
#include "support/DocumentFixture.h"
#include "support/InjectedFaults.h"

namespace {

// What a save of `tree` must leave: the first `dataSize` bytes of `old`, the
// tree's block right behind them, and the record the saved file `now` holds.
Bytes Saved(const Bytes& old, std::size_t dataSize, const HeaderNode& tree, const Bytes& now) {
    return MakeFileBytes(Bytes(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(dataSize)),
                         EncodeExtendedHeaderBlock(tree), RecordOf(now));
}

class DocumentTest : public ::testing::Test {
  protected:
    DocumentTest() : doc(messages, permission), first(log), second(log) {
        doc.AddView(&first);
        doc.AddView(&second);
        doc.OnNewDocument();
        log.clear();
    }

    // A sample file holding Run.Gain = 5 and Name = "ab".
    std::string MakeFile(const std::string& name, std::uint32_t seed = 1,
                         std::size_t dataSize = 3000) {
        auto root = ExtendedHeader::MakeRoot();
        AddAt(*root, "Run.Gain", LongValue(5));
        AddAt(*root, "Name", HeaderElement(std::string_view("ab")));
        const std::string path = dir.File(name);
        StandardHeader record = SampleRecord();
        StandardHeader::SetText(record.sampleName, name);
        WriteAll(path, SampleFile(*root, record, dataSize, seed));
        return path;
    }

    TempDir dir;
    RecordingMessages messages;
    SettablePermission permission;
    CTKVEditorDoc doc;
    std::vector<HintRecord> log;
    RecordingView first, second;
};

TEST_F(DocumentTest, OpenTitleNewAndSaveNew) {
    const std::string path = MakeFile("a.tkv");
    ASSERT_TRUE(doc.OpenDocumentFile(path));
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_NE(FindAt(*doc.m_pRoot, "run.gain"), nullptr);
    EXPECT_EQ(FindAt(*doc.m_pRoot, "Run.Gain")->value.GetLong(0), 5);
    EXPECT_EQ(StandardHeader::Text(doc.m_standardHeader.sampleName), "a.tkv");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    // A reset to each view in turn, then the new document; no sender, no object.
    const auto to = [&](const CView* v, int hint) {
        return HintRecord{v, nullptr, hint, nullptr, ""};
    };
    EXPECT_EQ(log, (std::vector{to(&first, HINT_REFRESH_ALL), to(&second, HINT_REFRESH_ALL),
                                to(&first, HINT_NEW_DOCUMENT), to(&second, HINT_NEW_DOCUMENT)}));

    // The title marks a change once, and a file that cannot be written; a file
    // the user may not edit is read-only too.
    EXPECT_FALSE(doc.IsReadOnly());
    doc.SetModified(true);
    doc.SetModified(true);
    EXPECT_EQ(doc.GetTitle(), "*a.tkv");
    doc.SetModified(false);
    EXPECT_EQ(doc.GetTitle(), "a.tkv");
    permission.allowed = false;
    EXPECT_TRUE(doc.IsReadOnly()) << "editing not allowed";
    EXPECT_EQ(doc.GetTitle(), "a.tkv");
    permission.allowed = true;
    doc.SetModified(true);
    std::filesystem::remove(path);
    EXPECT_TRUE(doc.IsReadOnly()) << "a deleted file counts as read-only";
    EXPECT_EQ(doc.GetTitle(), "*a.tkv [read-only]");

    log.clear();
    doc.SetModified(true);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(log, (std::vector{to(&first, HINT_NEW_DOCUMENT), to(&second, HINT_NEW_DOCUMENT),
                                to(&first, HINT_REFRESH_ALL), to(&second, HINT_REFRESH_ALL)}));
    EXPECT_TRUE(doc.m_pRoot->children.empty());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.GetPathName().empty());

    // Saved, a new document makes a file of headers only.
    InsertLeaf(doc, "Gain", LongValue(5));
    ASSERT_TRUE(doc.DoSave(dir.File("new.tkv")));
    const Bytes out = ReadAll(dir.File("new.tkv"));
    EXPECT_EQ(out, Saved({}, 0, *doc.m_pRoot, out));
    EXPECT_EQ(RecordOf(out).version, 1.1f);
}

TEST_F(DocumentTest, FailedOpensReportOnceAndKeepTheRecord) {
    const std::string good = MakeFile("good.tkv");
    ASSERT_TRUE(doc.OpenDocumentFile(good));
    messages.shown.clear();
    EXPECT_FALSE(doc.OpenDocumentFile(dir.File("missing.tkv")));
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"Failed to open document.\n" + dir.File("missing.tkv") +
                                       ": " + NoSuchFileText()});
    EXPECT_NE(FindAt(*doc.m_pRoot, "Run.Gain"), nullptr)
        << "a file that cannot be opened changes nothing";
    EXPECT_EQ(doc.GetPathName(), good);

    // A block that fails part way through: B = 1 is read, then A = 2 (stored
    // after B) cannot be looked up. Nothing of it stays.
    const Bytes block =
        Hex("05 02 42 00 B1 04 01 00 00 00 05 02 41 00 B1 04 02 00 00 00 FC 00 00 00");
    const std::string unordered = dir.File("unordered.tkv");
    WriteAll(unordered, MakeFileBytes(PatternBytes(10, 1), block, SampleRecord()));
    // Every hint a view gets meanwhile finds nothing of the file (or the old tree).
    std::size_t seen = 0;
    first.onUpdate = [&](CView*, int, void*) { seen += doc.m_pRoot->children.size(); };
    EXPECT_FALSE(doc.OpenDocumentFile(unordered));
    first.onUpdate = nullptr;
    EXPECT_EQ(seen, 0u) << "a failed open shows no partial tree";
    EXPECT_TRUE(doc.m_pRoot->children.empty());
    EXPECT_EQ(StandardHeader::Text(doc.m_standardHeader.sampleName), "good.tkv")
        << "the record stays";
    // The emptied document no longer stands for good.tkv: nothing offers to save
    // the empty tree, and a Save has no path to write it to.
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), "");
}

// What a file's checksum holds beyond its two headers' words (kept by every save).
std::uint32_t DataWord(const Bytes& file) {
    const StandardHeader record = RecordOf(file);
    const auto recordBytes = std::span(file).last(StandardHeader::kSize);
    const auto block = std::span(file).subspan(file.size() - record.extendedHeaderOffset,
                                               record.extendedHeaderLength);
    return record.checksum ^ XorWords(recordBytes.first(StandardHeader::kChecksumOffset)) ^
           XorWords(block);
}

// A save writes the tree behind the untouched sample data. Large values are held
// once: shared with the block they were read from, and written from there by the
// next save. What is written must be what a copy of every value would have
// written, the checksum's data word included.
TEST_F(DocumentTest, SaveWritesTheTreeBehindTheUntouchedData) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderElement traceA(ElementType::Short, 40001), traceB(ElementType::Byte, 70003);
    for (std::uint32_t i = 0; i < 40001; ++i) traceA.SetShort(i, static_cast<std::int16_t>(i * 3));
    for (std::uint32_t i = 0; i < 70003; ++i) traceB.SetByte(i, static_cast<std::uint8_t>(i % 251));
    AddAt(*root, "Trace.A", std::move(traceA));
    AddAt(*root, "Trace.B", std::move(traceB));
    AddAt(*root, "Name", HeaderElement(std::string_view("ab")));
    const std::string path = dir.File("big.tkv");
    WriteAll(path, SampleFile(*root, SampleRecord(), 5001, 3));
    const Bytes before = ReadAll(path);

    ASSERT_TRUE(doc.OpenDocumentFile(path));
    EditValue(doc, FindAt(*doc.m_pRoot, "Name"), HeaderElement(std::string_view("abc")));
    InsertLeaf(doc, "Run.Extra", HeaderElement(std::u16string_view(u"\u00e9t\u00e9")));
    ASSERT_TRUE(doc.DoSave(path));
    EXPECT_FALSE(doc.IsModified());
    FindAt(*doc.m_pRoot, "Trace.A")->value.SetShort(7, -7);  // the document's copy, not the block
    doc.SetModified(true);
    ASSERT_TRUE(doc.DoSave(path));

    const Bytes after = ReadAll(path);
    EXPECT_EQ(DataWord(after), DataWord(before));
    EXPECT_EQ(RecordOf(after), doc.m_standardHeader);
    // The untouched data, then the tree as edited, encoded whole from copies of its values.
    FindAt(*root, "Trace.A")->value.SetShort(7, -7);
    FindAt(*root, "Name")->value = HeaderElement(std::string_view("abc"));
    AddAt(*root, "Run.Extra", HeaderElement(std::u16string_view(u"\u00e9t\u00e9")));
    EXPECT_EQ(after, Saved(before, 5001, *root, after));
    EXPECT_TRUE(messages.shown.empty());
}

// Save As to a new name starts from a copy of the document's file (a read-only
// source gives a writable copy); over another sample file it keeps that file's
// data and record.
TEST_F(DocumentTest, SaveAsCopiesANewNameAndKeepsAnotherFilesDataAndRecord) {
    const std::string a = MakeFile("a.tkv", 3);
    ::chmod(a.c_str(), 0444);
    ASSERT_TRUE(doc.OpenDocumentFile(a));
    EXPECT_TRUE(doc.IsReadOnly());
    InsertLeaf(doc, "Added", LongValue(1));
    const std::string b = dir.File("b.tkv");
    InjectedFaults watch;
    ASSERT_TRUE(doc.DoSave(b));
    EXPECT_GT(watch.Seen(InjectedFaults::Op::Flush, b), 1) << "the copy, then the rewrite";
    EXPECT_EQ(doc.GetPathName(), b);
    EXPECT_FALSE(doc.IsReadOnly());
    const Bytes src = ReadAll(a), copy = ReadAll(b);
    EXPECT_EQ(copy, Saved(src, 3000, *doc.m_pRoot, copy));
    EXPECT_EQ(StandardHeader::Text(RecordOf(copy).sampleName), "a.tkv");
    EXPECT_EQ(RecordOf(copy).unnamed520, RecordOf(src).unnamed520);

    const std::string other = MakeFile("other.tkv", 9, 5000);
    const Bytes otherBefore = ReadAll(other);
    HeaderTree::Remove(*doc.m_pRoot, FindAt(*doc.m_pRoot, "Name"));
    ASSERT_TRUE(doc.DoSave(other));
    const Bytes after = ReadAll(other);
    EXPECT_EQ(StandardHeader::Text(RecordOf(after).sampleName), "other.tkv");
    EXPECT_EQ(doc.m_standardHeader, RecordOf(after));
    EXPECT_EQ(after, Saved(otherBefore, 5000, *doc.m_pRoot, after));
}

// A save that cannot be done (here on a read-only mount) says why in one
// message and changes no file, nor the document's name or its modified mark.
TEST_F(DocumentTest, ARefusedSaveSaysWhyAndChangesNothing) {
    const std::string path = MakeFile("a.tkv");
    ASSERT_TRUE(doc.OpenDocumentFile(path));
    InsertLeaf(doc, "X", LongValue(1));
    const Bytes before = ReadAll(path);
    {
        InjectedFaults mount(InjectedFaults::Action::Fail, 0,
                             InjectedFaults::On(InjectedFaults::Op::OpenForWriting), EROFS);
        EXPECT_FALSE(doc.DoSave(path));
    }
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Failed to save document.\n" + path +
                                                       ": Read-only file system"});
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(doc.GetPathName(), path);
    EXPECT_TRUE(doc.IsModified());
}

// The copy buffer holds a deep copy, which outlives the entry; a deletion tells
// the views before the entry goes.
TEST_F(DocumentTest, CopyBufferOutlivesADeletedEntry) {
    ASSERT_TRUE(doc.OpenDocumentFile(MakeFile("a.tkv")));
    HeaderNode* run = FindAt(*doc.m_pRoot, "Run");
    run->pending = true;
    doc.SetCopiedEntry(*run);
    EXPECT_FALSE(doc.IsModified());
    HeaderNode* copy = doc.GetCopiedEntry();
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->pending);
    EXPECT_EQ(copy->parent, nullptr);
    log.clear();
    doc.DeleteEntry(run);
    EXPECT_EQ(log, (std::vector<HintRecord>{{&first, nullptr, HINT_ENTRY_REMOVING, run, "Run"},
                                            {&second, nullptr, HINT_ENTRY_REMOVING, run, "Run"}}));
    EXPECT_EQ(FindAt(*doc.m_pRoot, "Run"), nullptr);
    EXPECT_TRUE(doc.IsModified());
    ASSERT_NE(HeaderTree::Find(*copy, "Gain"), nullptr) << "the buffer outlives the entry";
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetCopiedEntry(), copy) << "untouched by a reset";
}

TEST_F(DocumentTest, NestedUpdatesReachAllViewsBeforeReturning) {
    HeaderNode* n = InsertLeaf(doc, "A", LongValue(1));
    RecordingView third(log);
    doc.AddView(&third);
    // The first view answers a show hint by sending an edit hint of its own.
    first.onUpdate = [&](CView*, int hint, void* object) {
        if (hint == HINT_SHOW_ENTRY) doc.NotifyEditEntry(&first, static_cast<HeaderNode*>(object));
    };
    log.clear();
    doc.NotifyShowEntry(&second, n);
    EXPECT_EQ(log, (std::vector<HintRecord>{{&first, &second, HINT_SHOW_ENTRY, n, "A"},
                                            {&second, &first, HINT_EDIT_ENTRY, n, "A"},
                                            {&third, &first, HINT_EDIT_ENTRY, n, "A"},
                                            {&third, &second, HINT_SHOW_ENTRY, n, "A"}}));
}

}  // namespace

// The two panes over large files, on Qt's offscreen platform: a full fill (the
// update that follows opening a file, with the layout and first paint), and a
// hint for one entry (changed, shown, inserted and removed), which must touch
// only that entry.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSplitter>

#include "document/TKVEditorDoc.h"
#include "platform/UserMessages.h"
#include "platform/qt/CommandSet.h"
#include "views/RightView.h"
#include "views/TKVEditorView.h"

HeaderNode* FindEntryAt(const HeaderNode& root, long index);

namespace {

using Quiet = SilentMessages;

std::string Name(const char* prefix, int n) {
    std::string s(prefix);
    s += std::to_string(n);
    return s;
}

// `entries` leaves of mixed types in one list.
void FillFlat(HeaderNode& root, int entries) {
    HeaderNode* list = HeaderTree::Insert(root, std::make_unique<HeaderNode>("FLAT", true), &root);
    for (int i = 0; i < entries; ++i) {
        auto node = std::make_unique<HeaderNode>(Name("ENTRY_", i), false);
        node->value = HeaderElement(ElementType::Long, 4);
        HeaderTree::Insert(*list, std::move(node), &root);
    }
}

// `entries` leaves of mixed types in lists of 10, three deep (and their lists).
void FillTree(HeaderNode& root, int entries) {
    HeaderNode* lists[3] = {&root, &root, &root};
    for (int i = 0; i < entries; ++i) {
        if (i % 1000 == 0)
            lists[0] = HeaderTree::Insert(
                root, std::make_unique<HeaderNode>(Name("L", i / 1000), true), &root);
        if (i % 100 == 0)
            lists[1] = HeaderTree::Insert(
                *lists[0], std::make_unique<HeaderNode>(Name("M", i / 100), true), &root);
        if (i % 10 == 0)
            lists[2] = HeaderTree::Insert(
                *lists[1], std::make_unique<HeaderNode>(Name("N", i / 10), true), &root);
        auto node = std::make_unique<HeaderNode>(Name("ENTRY_", i), false);
        if (i % 2)
            node->value = HeaderElement(std::string_view("sample text value"));
        else
            node->value = HeaderElement(ElementType::Long, 4);
        HeaderTree::Insert(*lists[2], std::move(node), &root);
    }
}

struct Editor {
    explicit Editor(int entries, bool flat = false)
        : doc(quiet, allow), tree(commands), list(commands) {
        flat ? FillFlat(*doc.m_pRoot, entries) : FillTree(*doc.m_pRoot, entries);
        splitter.addWidget(&tree);
        splitter.addWidget(&list);
        splitter.resize(1000, 700);
        splitter.show();
        doc.AddView(&tree);
        doc.AddView(&list);
    }
    ~Editor() {
        doc.RemoveView(&tree);
        doc.RemoveView(&list);
        splitter.hide();
        tree.setParent(nullptr);
        list.setParent(nullptr);
    }
    void Refill() {
        doc.UpdateAllViews(nullptr, HINT_REFRESH_ALL, nullptr);
        QApplication::processEvents();  // layout and paint
    }
    Quiet quiet;
    AllowEditing allow;
    CTKVEditorDoc doc;
    CommandSet commands;
    CTKVEditorView tree;
    CRightView list;
    QSplitter splitter;
};

void BM_FillBothPanes(benchmark::State& state) {
    Editor editor(static_cast<int>(state.range(0)));
    for (auto _ : state) editor.Refill();
    state.counters["rows"] = static_cast<double>(editor.list.model()->rowCount());
}

// The middle entry: changed (the list refreshes its row), shown (both select it).
void BM_HintForOneEntry(benchmark::State& state) {
    Editor editor(static_cast<int>(state.range(0)));
    editor.Refill();
    HeaderNode* entry = FindEntryAt(*editor.doc.m_pRoot, state.range(0) / 2);
    for (auto _ : state) {
        entry->pending = !entry->pending;
        editor.doc.NotifyEntryChanged(&editor.tree, entry);
        editor.doc.NotifyShowEntry(nullptr, entry);
        QApplication::processEvents();
    }
}

// One entry inserted into a list in the middle and removed again: in lists of
// 10 (range 1 = 0), or in one list that holds every entry (range 1 = 1).
void BM_InsertAndRemoveOneEntry(benchmark::State& state) {
    Editor editor(static_cast<int>(state.range(0)), state.range(1) != 0);
    editor.Refill();
    HeaderNode* list = FindEntryAt(*editor.doc.m_pRoot, state.range(0) / 2)->parent;
    for (auto _ : state) {
        auto node = std::make_unique<HeaderNode>("NEW_ENTRY", false);
        node->value = HeaderElement(ElementType::Long, 1);
        HeaderNode* added = HeaderTree::Insert(*list, std::move(node), editor.doc.m_pRoot.get());
        editor.tree.InsertEntryItem(editor.tree.FindItemOfEntry(list), added);
        editor.doc.NotifyEntryInserted(&editor.tree, added);
        editor.doc.DeleteEntry(added);
        QApplication::processEvents();
    }
}

// One keystroke in the filter box over 100,000 entries, with the layout and
// paint that follow: a text that few rows hold, one that half hold (the text
// values), and the empty box again (every row back), each from the text before.
void BM_FilterKeystroke(benchmark::State& state) {
    Editor editor(100000);
    editor.Refill();
    static const QString kTexts[] = {QStringLiteral("entry_4242"), QStringLiteral("sample t"),
                                     QString()};
    const QString& text = kTexts[state.range(0)];
    const QString& before = state.range(0) == 2 ? kTexts[0] : QString();
    for (auto _ : state) {
        state.PauseTiming();
        editor.list.Model().SetFilter(before);
        QApplication::processEvents();
        state.ResumeTiming();
        editor.list.Model().SetFilter(text);
        QApplication::processEvents();
    }
    state.counters["rows_shown"] = static_cast<double>(editor.list.model()->rowCount());
}

}  // namespace

// The i-th leaf in walk order.
HeaderNode* FindEntryAt(const HeaderNode& root, long index) {
    HeaderNode* found = nullptr;
    long i = 0;
    HeaderTree::Walk(root, [&](const HeaderNode& e, std::string_view) {
        if (!e.isList && i++ == index) found = const_cast<HeaderNode*>(&e);
    });
    return found;
}

BENCHMARK(BM_FillBothPanes)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HintForOneEntry)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InsertAndRemoveOneEntry)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_FilterKeystroke)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

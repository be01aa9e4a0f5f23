#include "GuiFixture.h"

#include <QMenu>

#include "platform/RandomAccessFile.h"
#include "platform/TextCodec.h"

void GuiTest::SetUp() {
    UserSettings().clear();
    SystemSettings().clear();
}

void GuiTest::TearDown() {
    if (app && app->MainFrame()) app->MainFrame()->hide();
    app.reset();
    UserSettings().clear();
    SystemSettings().clear();
}

bool GuiTest::Start(const Texts& args) {
    app = std::make_unique<CTKVEditorApp>(&messages);
    const bool ok = app->InitInstance(args);
    if (ok) {
        Frame().resize(900, 600);
        QApplication::processEvents();
    }
    return ok;
}

std::unique_ptr<HeaderNode> GuiTest::SampleTree() {
    auto root = ExtendedHeader::MakeRoot();
    AddAt(*root, "A", LongValue(7));
    AddAt(*root, "B.C", HeaderElement(std::string_view("text")));
    HeaderElement flags(ToCode(ElementType::Boolean), 3);
    flags.SetByte(0, 1);
    flags.SetByte(1, 0);
    flags.SetByte(2, 1);
    AddAt(*root, "B.FLAGS", flags);
    AddAt(*root, "D", FloatValue(2.5f));
    return root;
}

std::string GuiTest::PutFile(const std::string& name, const HeaderNode& root) {
    const std::string path = dir.File(name);
    WriteAll(path, SampleFile(root, SampleRecord(), 256, 3));
    return path;
}

std::string GuiTest::Stored(const std::string& name, const std::string& path) {
    RandomAccessFile file(dir.File(name), RandomAccessFile::Mode::Read);
    auto root = ExtendedHeader::MakeRoot();
    StandardHeader record;
    ReadHeaders(file, *root, record, messages);
    const HeaderNode* node = FindAt(*root, path);
    return node ? TextCodec::ToUtf8(node->value.Format(10)) : "(none)";
}

Texts GuiTest::TreeTexts() {
    Texts out;
    std::function<void(const std::vector<std::unique_ptr<TreeItem>>&, int)> walk =
        [&](const std::vector<std::unique_ptr<TreeItem>>& items, int depth) {
            for (const auto& item : items) {
                out.push_back(std::string(2 * depth, ' ') + item->text);
                walk(item->children, depth + 1);
            }
        };
    walk(Tree().Model().TopLevel(), 0);
    return out;
}

Texts GuiTest::TreeRows() {
    Texts out;
    QAbstractItemModel* m = Tree().model();
    for (int r = 0; r < m->rowCount(); ++r) {
        const QModelIndex i = m->index(r, 0);
        out.push_back(std::string(2 * i.data(EntryTreeModel::kDepthRole).toInt(), ' ') +
                      i.data().toString().toStdString());
    }
    return out;
}

Texts GuiTest::ListLabels() {
    Texts out;
    QAbstractItemModel* m = List().model();
    for (int r = 0; r < m->rowCount(); ++r)
        out.push_back(m->index(r, 0).data().toString().toStdString());
    return out;
}

QModelIndex GuiTest::ListIndexOf(const std::string& label) {
    const auto labels = ListLabels();
    const auto at = std::find(labels.begin(), labels.end(), label);
    return at == labels.end() ? QModelIndex() : List().model()->index(int(at - labels.begin()), 0);
}

QModelIndex GuiTest::TreeIndexOf(const std::string& path) {
    return Tree().Model().IndexOf(path == "Standard Header"   ? Tree().StandardHeaderItem()
                                  : path == "Extended Header" ? Tree().RootItem()
                                                              : Tree().FindItemOfEntry(At(path)));
}

void GuiTest::ClickTree(const std::string& path, Qt::MouseButton button) {
    const QModelIndex i = TreeIndexOf(path);
    ASSERT_TRUE(i.isValid()) << path;
    Tree().scrollTo(i);
    QTest::mouseClick(Tree().viewport(), button, {}, Tree().ItemRect(i).center());
}

void GuiTest::ClickList(const std::string& label, Qt::MouseButton button) {
    const QModelIndex i = ListIndexOf(label);
    ASSERT_TRUE(i.isValid()) << label;
    List().scrollTo(i);
    QTest::mouseClick(List().viewport(), button, {}, List().visualRect(i).center());
}

std::shared_ptr<GuiTest::Popup> GuiTest::CloseNextPopup(const std::string& choose) {
    auto seen = std::make_shared<Popup>();
    delete popupWatch;  // one watcher at a time: an earlier one would take this popup
    auto* timer = new QTimer(&Frame());
    popupWatch = timer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, seen, choose] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            seen->shown = true;
            QAction* chosen = nullptr;
            for (QAction* a : popup->actions()) {
                seen->enabled.push_back(a->isEnabled());
                seen->checked.push_back(a->isChecked());
                seen->withShortcut += !a->shortcut().isEmpty();
                if (a->menu())
                    for (QAction* s : a->menu()->actions())
                        seen->withShortcut += !s->shortcut().isEmpty();
                if (!choose.empty() && a->text().toStdString() == choose) chosen = a;
            }
            timer->deleteLater();
            popup->close();
            if (chosen) chosen->trigger();
        }
    });
    timer->start();
    QTimer::singleShot(1000, timer, [timer] { timer->deleteLater(); });
    return seen;
}

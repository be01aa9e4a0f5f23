#include "app/HelpWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

QVariant CChmBrowser::loadResource(int type, const QUrl& name) {
    if (auto bytes = m_file.Read(name.path().toStdString())) {
        const QByteArray data(bytes->data(), static_cast<qsizetype>(bytes->size()));
        if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
            return QString::fromUtf8(data);
        return data;
    }
    return QTextBrowser::loadResource(type, name);
}

CHelpWindow::CHelpWindow(std::unique_ptr<ChmFile> file, const QString& path, QWidget* owner)
    : QWidget(owner, Qt::Window), m_file(std::move(file)), m_strPath(path) {
    setObjectName("CHelpWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("TKV Extended Header Editor Help"));
    auto* splitter = new QSplitter(this);
    m_pContents = new QTreeWidget(splitter);
    m_pContents->setHeaderHidden(true);
    m_pPage = new CChmBrowser(*m_file, splitter);
    m_pPage->setOpenLinks(true);
    m_pPage->setOpenExternalLinks(false);
    splitter->addWidget(m_pContents);
    splitter->addWidget(m_pPage);
    splitter->setSizes({220, 560});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(800, 560);

    AddEntries(nullptr, m_file->Contents());
    m_pContents->expandAll();
    connect(m_pContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item && !item->data(0, Qt::UserRole).toString().isEmpty())
            ShowPage(item->data(0, Qt::UserRole).toString());
    });
    // A link followed inside a page moves the contents' selection along.
    connect(m_pPage, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
        const QString path = url.path().startsWith('/') ? url.path().mid(1) : url.path();
        for (QTreeWidgetItemIterator it(m_pContents); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == path) {
                const QSignalBlocker quiet(m_pContents);
                m_pContents->setCurrentItem(*it);
                break;
            }
    });
    if (m_pContents->topLevelItemCount() > 0)
        m_pContents->setCurrentItem(m_pContents->topLevelItem(0));
}

void CHelpWindow::AddEntries(QTreeWidgetItem* parent,
                             const std::vector<ChmFile::TocEntry>& entries) {
    for (const auto& e : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_pContents);
        item->setText(0, QString::fromStdString(e.name));
        item->setData(0, Qt::UserRole, QString::fromStdString(e.local));
        AddEntries(item, e.children);
    }
}

void CHelpWindow::ShowPage(const QString& local) {
    QUrl url;
    url.setPath(local.startsWith('/') ? local : "/" + local);
    m_pPage->setSource(url);
}

QWidget* HtmlHelp(QWidget* window, const QString& file, unsigned command, quintptr data) {
    static QPointer<CHelpWindow> s_window;
    switch (command) {
        case HH_INITIALIZE:
            if (data) *reinterpret_cast<quint32*>(data) = 1;
            return nullptr;
        case HH_UNINITIALIZE:
            if (s_window) s_window->close();
            return nullptr;
        case HH_DISPLAY_TOC: {
            if (s_window && s_window->Path() == file) return s_window;
            auto chm = ChmFile::Open(file.toStdString());
            if (!chm) return nullptr;
            if (s_window) s_window->close();
            s_window = new CHelpWindow(std::move(chm), file, window);
            return s_window;
        }
        default:
            return nullptr;
    }
}

#include "editor/addpicturespage.h"

#include "editor/banner.h"
#include "editor/slidepreview.h"
#include "platform/filedialog.h"
#include "platform/paths.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace editor {

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// The masks of a filter entry "Text (*.a *.b)".
QStringList masksOf(const QString& entry)
{
    const qsizetype open = entry.lastIndexOf(QChar('('));
    const qsizetype close = entry.lastIndexOf(QChar(')'));
    if (open < 0 || close < open)
        return {QStringLiteral("*")};
    return entry.mid(open + 1, close - open - 1).split(QChar(' '), Qt::SkipEmptyParts);
}

bool isEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

AddPicturesPage::AddPicturesPage(EditorHost& host, Favourites& favourites, QWidget* parent)
    : QWidget(parent), m_host(host), m_favourites(favourites)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeBanner(QStringLiteral("Bilder hinzuf\u00fcgen - Dateien markieren und auf \"Hinzuf\u00fcgen\" klicken"), this));

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter, 1);

    // Left: the folder tree over the favourites.
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_folderModel = new QFileSystemModel(this);
    m_folderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_folderModel->setRootPath(QStringLiteral("/"));
    JamShellTree1 = new QTreeView(left);
    JamShellTree1->setObjectName(QStringLiteral("JamShellTree1"));
    JamShellTree1->setModel(m_folderModel);
    for (int column = 1; column < m_folderModel->columnCount(); ++column)
        JamShellTree1->hideColumn(column);
    JamShellTree1->setHeaderHidden(true);
    leftLayout->addWidget(JamShellTree1, 3);
    leftLayout->addWidget(new QLabel(QStringLiteral("Lieblings Ordner:"), left));
    PrefListBox = new QListWidget(left);
    PrefListBox->setObjectName(QStringLiteral("PrefListBox"));
    leftLayout->addWidget(PrefListBox, 1);

    // Middle: the folder's files and the type filter.
    auto* middle = new QWidget(splitter);
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    m_fileModel = new QFileSystemModel(this);
    m_fileModel->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    m_fileModel->setNameFilterDisables(false);
    m_fileModel->setReadOnly(true);
    JamShellList1 = new QTreeView(middle);
    JamShellList1->setObjectName(QStringLiteral("JamShellList1"));
    JamShellList1->setModel(m_fileModel);
    JamShellList1->setRootIsDecorated(false);
    JamShellList1->setItemsExpandable(false);
    JamShellList1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    JamShellList1->setSelectionBehavior(QAbstractItemView::SelectRows);
    JamShellList1->setSortingEnabled(true);
    JamShellList1->sortByColumn(0, Qt::AscendingOrder);
    JamShellList1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    JamShellList1->header()->setStretchLastSection(false);
    middleLayout->addWidget(JamShellList1, 1);
    FilterComboBox1 = new QComboBox(middle);
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    FilterComboBox1->setToolTip(QStringLiteral("Hier k\u00f6nnen Sie die angezeigten Dateitypen w\u00e4hlen"));
    middleLayout->addWidget(FilterComboBox1);

    // Right: the preview, the show's slides and the buttons.
    auto* right = new QWidget(splitter);
    auto* rightLayout = new QGridLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    DibPrevPaint = new SlidePreviewBox(
        [this]() -> const raster::TDibRecord* {
            const show::TSlideRecord* slide = m_host.document().slide(uint32_t(FocusedImage()));
            return FocusedImage() >= 0 && slide ? &slide->Dib : nullptr;
        },
        right);
    DibPrevPaint->setObjectName(QStringLiteral("DibPrevPaint"));
    DibPrevPaint->setToolTip(QStringLiteral("Zeigt eine Vorschau des geladenen Bildes"));
    DibPrevPaint->setMinimumSize(160, 120);
    rightLayout->addWidget(DibPrevPaint, 0, 0, 1, 2);
    ImageList = new QListWidget(right);
    ImageList->setObjectName(QStringLiteral("ImageList"));
    ImageList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rightLayout->addWidget(ImageList, 1, 0, 1, 2);
    AddBtn = button(right, "AddBtn", QStringLiteral("&Hinzuf\u00fcgen"));
    DelBtn = button(right, "DelBtn", QStringLiteral("&L\u00f6schen"));
    ViewBtn = button(right, "ViewBtn", QStringLiteral("&Gro\u00df anzeigen"));
    PrintBtn = button(right, "PrintBtn", QStringLiteral("Drucken..."));
    rightLayout->addWidget(AddBtn, 2, 0);
    rightLayout->addWidget(DelBtn, 2, 1);
    rightLayout->addWidget(ViewBtn, 3, 0);
    rightLayout->addWidget(PrintBtn, 3, 1);
    rightLayout->setRowStretch(0, 2);
    rightLayout->setRowStretch(1, 3);

    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 2);
    SetSlideButtonsEnabled(false);

    connect(JamShellTree1, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        SetFolder(m_folderModel->filePath(index));
    });
    connect(JamShellList1, &QTreeView::doubleClicked, this, &AddPicturesPage::JamShellList1DblClick);
    connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, &AddPicturesPage::FilterComboBox1Change);
    connect(PrefListBox, &QListWidget::itemDoubleClicked, this, &AddPicturesPage::PrefListBoxDblClick);
    connect(ImageList, &QListWidget::currentRowChanged, this, &AddPicturesPage::RepaintPreview);
    connect(ImageList, &QListWidget::itemDoubleClicked, this, &AddPicturesPage::ViewBtnClick);
    connect(AddBtn, &QPushButton::clicked, this, &AddPicturesPage::AddBtnClick);
    connect(DelBtn, &QPushButton::clicked, this, &AddPicturesPage::DelBtnClick);
    connect(ViewBtn, &QPushButton::clicked, this, &AddPicturesPage::ViewBtnClick);
    connect(PrintBtn, &QPushButton::clicked, this, &AddPicturesPage::PrintBtnClick);
    JamShellList1->installEventFilter(this);
    PrefListBox->installEventFilter(this);
    ImageList->installEventFilter(this);
}

void AddPicturesPage::SetFolder(const QString& folder)
{
    m_folder = platform::IncludeTrailingPathDelimiter(folder);
    const QModelIndex root = m_fileModel->setRootPath(m_folder);
    JamShellList1->setRootIndex(root);
    JamShellList1->clearSelection();
    const QModelIndex inTree = m_folderModel->index(m_folder);
    if (inTree.isValid()) {
        JamShellTree1->setCurrentIndex(inTree);
        JamShellTree1->scrollTo(inTree);
    }
}

QString AddPicturesPage::Folder() const
{
    return m_folder;
}

void AddPicturesPage::SetOpenFilter(const QString& filter)
{
    const QStringList entries = platform::qtNameFilters(filter);
    m_filterMasks.clear();
    for (const QString& entry : entries)
        m_filterMasks << masksOf(entry).join(QChar('\n'));
    const QSignalBlocker blocker(FilterComboBox1);
    FilterComboBox1->clear();
    FilterComboBox1->addItems(entries);
    FilterComboBox1->setCurrentIndex(0);
    FilterComboBox1Change(0);
}

void AddPicturesPage::FilterComboBox1Change(int index)
{
    if (index < 0 || index >= m_filterMasks.size())
        return;
    m_fileModel->setNameFilters(m_filterMasks[index].split(QChar('\n')));
}

QStringList AddPicturesPage::SelectedFiles() const
{
    QModelIndexList rows = JamShellList1->selectionModel()->selectedRows(0);
    // In the order the list shows them (the model keeps its rows sorted).
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList files;
    for (const QModelIndex& row : rows) {
        if (!m_fileModel->isDir(row))
            files << m_folder + m_fileModel->fileName(row);
    }
    return files;
}

void AddPicturesPage::AddBtnClick()
{
    const QStringList files = SelectedFiles();
    if (!files.isEmpty())
        m_host.AddFiles(files);
}

void AddPicturesPage::openfilenow()
{
    AddBtnClick();
}

void AddPicturesPage::JamShellList1DblClick(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    if (m_fileModel->isDir(index)) {
        SetFolder(m_fileModel->filePath(index));
        return;
    }
    m_favourites.AddToPrefFolders(m_folder);
    RefreshFavourites();
    openfilenow();
}

void AddPicturesPage::PrefListBoxDblClick()
{
    if (const QListWidgetItem* item = PrefListBox->currentItem())
        SetFolder(item->text());
}

void AddPicturesPage::RefreshFavourites()
{
    PrefListBox->clear();
    PrefListBox->addItems(m_favourites.folders());
}

void AddPicturesPage::FillImageList(const QStringList& names)
{
    const QSignalBlocker blocker(ImageList);
    ImageList->clear();
    ImageList->addItems(names);
    RepaintPreview();
}

void AddPicturesPage::SelectLastImage()
{
    ImageList->clearSelection();
    if (ImageList->count() > 0)
        ImageList->setCurrentRow(ImageList->count() - 1, QItemSelectionModel::ClearAndSelect);
    RepaintPreview();
}

void AddPicturesPage::SelectFirstImage()
{
    if (ImageList->count() > 0)
        ImageList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    RepaintPreview();
}

int AddPicturesPage::FocusedImage() const
{
    return ImageList->currentRow();
}

QList<int> AddPicturesPage::SelectedImages() const
{
    QList<int> rows;
    for (int i = 0; i < ImageList->count(); ++i) {
        if (ImageList->item(i)->isSelected())
            rows << i;
    }
    return rows;
}

void AddPicturesPage::SetSlideButtonsEnabled(bool enabled)
{
    DelBtn->setEnabled(enabled);
    ViewBtn->setEnabled(enabled);
    PrintBtn->setEnabled(enabled);
}

void AddPicturesPage::RepaintPreview()
{
    DibPrevPaint->update();
}

void AddPicturesPage::DelBtnClick()
{
    const QList<int> rows = SelectedImages();
    if (rows.isEmpty())
        return;
    show::ShowDocument& show = m_host.document();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        show::RemoveSlide(show, *it);
    m_host.UpdateListBox();
}

void AddPicturesPage::ViewBtnClick()
{
    if (FocusedImage() >= 0)
        m_host.ViewSlidePicture(FocusedImage());
}

void AddPicturesPage::PrintBtnClick()
{
    const QList<int> rows = SelectedImages();
    if (!rows.isEmpty())
        m_host.PrintSlidePicture(rows.constFirst());
}

bool AddPicturesPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    // The file list is read-only, so Enter never ends the editing of a name.
    if (watched == JamShellList1 && isEnter(key)) {
        JamShellList1DblClick(JamShellList1->currentIndex());
        return true;
    }
    if (watched == PrefListBox && isEnter(key)) {
        PrefListBoxDblClick();
        return true;
    }
    if (watched == ImageList && key->key() == Qt::Key_Delete) {
        DelBtnClick();
        return true;
    }
    if (watched == ImageList && isEnter(key)) {
        ViewBtnClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace editor

#pragma once
// The page "Bilder hinzufügen": a folder tree and the folder's files, the
// favourite folders, the list of the show's slides with a preview of the
// focused one, and the buttons that add, remove, show and print pictures.

#include "editor/editorhost.h"
#include "editor/favourites.h"

#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QFileSystemModel;
class QListWidget;
class QPushButton;
class QTreeView;

namespace editor {

class SlidePreviewBox;

class AddPicturesPage : public QWidget {
    Q_OBJECT
public:
    AddPicturesPage(EditorHost& host, Favourites& favourites, QWidget* parent);

    // The folder the tree and the file list show.
    void SetFolder(const QString& folder);
    QString Folder() const;
    // The picture filters ("Text (*.a *.b);;..."), the first one chosen.
    void SetOpenFilter(const QString& filter);
    // The files marked in the file list, in list order, with their folder.
    QStringList SelectedFiles() const;

    // The list of slides: one name per slide.
    void FillImageList(const QStringList& names);
    // Only the last entry selected (and focused).
    void SelectLastImage();
    void SelectFirstImage();
    // The focused entry (-1 for none) and the selected ones, in list order.
    int FocusedImage() const;
    QList<int> SelectedImages() const;
    // "Löschen", "Groß anzeigen" and "Drucken..." work only on slides.
    void SetSlideButtonsEnabled(bool enabled);
    void RefreshFavourites();
    void RepaintPreview();

    // Handlers.
    void AddBtnClick();
    void openfilenow();
    void JamShellList1DblClick(const QModelIndex& index);
    void FilterComboBox1Change(int index);
    void PrefListBoxDblClick();
    void DelBtnClick();
    void ViewBtnClick();
    void PrintBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EditorHost& m_host;
    Favourites& m_favourites;
    QString m_folder;
    QStringList m_filterMasks; // per entry of the filter box

    QFileSystemModel* m_folderModel = nullptr;
    QFileSystemModel* m_fileModel = nullptr;
    QTreeView* JamShellTree1 = nullptr;
    QTreeView* JamShellList1 = nullptr;
    QComboBox* FilterComboBox1 = nullptr;
    QListWidget* PrefListBox = nullptr;
    SlidePreviewBox* DibPrevPaint = nullptr;
    QListWidget* ImageList = nullptr;
    QPushButton* AddBtn = nullptr;
    QPushButton* DelBtn = nullptr;
    QPushButton* ViewBtn = nullptr;
    QPushButton* PrintBtn = nullptr;
};

} // namespace editor

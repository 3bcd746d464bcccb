#pragma once

#include <memory>

#include <QDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStatusBar>
#include <QTreeWidget>

class QEvent;
class QFileDialog;
class QHelpEvent;
class QKeyEvent;
class QPainter;
class QShowEvent;
class QTreeWidgetItem;
class TPicture;

namespace Ui {
class TCompForm;
}

namespace orvelle {
class UserPrompts;
}

// The outcome of one check: the groups of matching files as a tree, and for
// the file clicked in it its details and a preview. Built afresh for every
// set of results, shown modally and released afterwards.
class TCompForm : public QDialog {
    Q_OBJECT
public:
    TCompForm(orvelle::UserPrompts& prompts, QWidget* owner);
    ~TCompForm() override;

    QTreeWidget* TreeView1() const;
    QPlainTextEdit* Memo1() const;
    QScrollArea* ScrollBox1() const;
    QWidget* PaintBox1() const;
    QMenu* PopupMenu1() const;
    QStatusBar* StatusBar1() const;

    // The window's own state lives and dies with it.
    void FormCreate();
    void FormDestroy();
    // A mouse click into the tree: shows the selected file.
    void TreeView1Click();
    // Draws the preview of the shown file.
    void PaintBox1Paint();
    // Switches the preview between actual size and fitted.
    void PaintBox1DblClick();
    // The commands of PopupMenu1, acting on the selected file.
    void Delete1Click();
    void SaveAs1Click();
    void Close1Click();

    // Draws Picture into PaintBox1, at its own size or fitted. Outside a
    // paint event it repaints the box at once.
    void DrawPreview();
    // The length of the selected node's file in bytes.
    double SizeOfFile(const QTreeWidgetItem& node) const;

    // The picture of the file last shown; empty until one is.
    std::unique_ptr<TPicture> Picture;
    // true: the preview is scaled to fit; false: actual size.
    bool FitView = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowCutOffNodeText(const QHelpEvent& help);
    // The selected node when it is a file that exists, else nothing.
    QTreeWidgetItem* SelectedFile() const;
    void PaintPreview(QPainter& painter);

    std::unique_ptr<Ui::TCompForm> ui;
    orvelle::UserPrompts& prompts_;
    QMenu* popupMenu1_;
    QFileDialog* saveDialog1_;
    // Set while PaintBox1's paint event runs, so DrawPreview may paint.
    QPainter* previewPainter_ = nullptr;
};

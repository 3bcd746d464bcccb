#include "CompUnit.h"

#include <new>
#include <optional>

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QStringList>
#include <QStyleOptionViewItem>
#include <QTextCursor>
#include <QToolTip>
#include <QTreeWidgetItem>

#include "ApplicationHints.h"
#include "Canvas.h"
#include "CompFormRules.h"
#include "EventRules.h"
#include "FileExistence.h"
#include "FileListRules.h"
#include "Fonts.h"
#include "HandlerGuard.h"
#include "NativeFiles.h"
#include "NativePath.h"
#include "PaintBox.h"
#include "PathRules.h"
#include "Picture.h"
#include "RealNameFileDialog.h"
#include "ResultsTree.h"
#include "ToolPictures.h"
#include "UserPrompts.h"
#include "WindowPlacement.h"
#include "ui_CompUnit.h"

namespace {

// The tree and the details pane start equally wide; the splitter's handle
// lies between them.
constexpr int kTreeWidth = 398;
constexpr int kPanelWidth = 398;

// The details are shown in a fixed-pitch face so that the values after the
// labels line up.
QFont MemoFont()
{
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setPixelSize(13);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::Monospace);
    return font;
}

// The labels of the five detail lines, each eight half-width columns wide.
QString BareDetails()
{
    return QStringList{QStringLiteral("ﾌｧｲﾙ名："), QStringLiteral("サイズ："),
                       QStringLiteral("日　時："), QStringLiteral("画像幅："),
                       QStringLiteral("画像高：")}
        .join(u'\n');
}

// The whole file in memory, read before the target is touched, so that a
// copy onto the source itself rewrites the same bytes.
QByteArray ReadWholeFile(const QString& path)
{
    const std::unique_ptr<QFile> source = orvelle::OpenForReading(path);
    if (!source)
        orvelle::RaiseFileOpen(path);
    const qint64 length = source->size();
    QByteArray bytes;
    try {
        bytes.resize(length);
    } catch (const std::bad_alloc&) {
        throw orvelle::EStreamError(orvelle::MemoryStreamText());
    }
    if (length > 0 && source->read(bytes.data(), length) != length)
        throw EReadError(orvelle::StreamReadText());
    return bytes;
}

// Written beside the target and moved over it only when complete: a failure
// part-way leaves an earlier file of that name as it was and no partial file.
// Where no file may be made beside it, or the target has other names (hard
// links) that must see the copy too, it is written in place, as the
// settings are.
void WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    switch (orvelle::WriteWholeFile(path, bytes, orvelle::DirectWrite::WhenNoTemporaryFile)) {
    case orvelle::WriteOutcome::Written:
        return;
    case orvelle::WriteOutcome::NotCreated:
    case orvelle::WriteOutcome::NotReplaced:
        orvelle::RaiseFileCreate(path);
    case orvelle::WriteOutcome::NotWritten:
        break;
    }
    throw orvelle::EWriteError(orvelle::StreamWriteText());
}

// Whether both paths name one file (the same device and inode).
bool SameFile(const QString& a, const QString& b)
{
    const std::optional<orvelle::FileId> first = orvelle::IdentifyFile(a);
    const std::optional<orvelle::FileId> second = orvelle::IdentifyFile(b);
    return first && second && *first == *second;
}

// Whether nothing of that name is left, not even a dangling link.
bool IsGone(const QString& path)
{
    return !orvelle::EntryExists(path);
}

} // namespace

TCompForm::TCompForm(orvelle::UserPrompts& prompts, QWidget* owner)
    : QDialog(owner, Qt::Window), ui(std::make_unique<Ui::TCompForm>()), prompts_(prompts),
      popupMenu1_(new QMenu(this)), saveDialog1_(new orvelle::RealNameFileDialog(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(orvelle::FormFont());
    setWindowIcon(orvelle::ProgramIcon());
    resize(kTreeWidth + ui->Splitter1->handleWidth() + kPanelWidth, 600);

    // Only the details pane grows with the window; the tree keeps its width
    // until the splitter is dragged.
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->setSizes({kTreeWidth, kPanelWidth});

    // A path wider than the tree is not shortened: the tree scrolls
    // sideways, and the tooltip shows the whole path.
    QTreeWidget* tree = ui->TreeView1;
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->viewport()->installEventFilter(this);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popupMenu1_->popup(ui->TreeView1->viewport()->mapToGlobal(pos));
    });
    connect(tree, &QTreeWidget::itemClicked, this, [this] { TreeView1Click(); });

    ui->Memo1->setFont(MemoFont());
    // Read-only, but the caret still moves and selects as in any text.
    ui->Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    ui->Memo1->setPlainText(BareDetails());
    // The five lines fit the memo's height; only a long line needs a scroll
    // bar, and a vertical one would narrow the lines for nothing.
    ui->Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The paint box is transparent: whatever the preview leaves unpainted
    // shows the scroll box behind it. QScrollArea makes its widget opaque.
    ui->PaintBox1->setAutoFillBackground(false);
    ui->PaintBox1->OnPaint([this] { PaintBox1Paint(); });
    ui->PaintBox1->OnDoubleClick([this] { PaintBox1DblClick(); });
    // This window shows no tooltips; the hint still reaches the
    // application's hint line.
    ui->PaintBox1->setStatusTip(QStringLiteral("ダブルクリックで表示状態変更"));

    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    popupMenu1_->addAction(ui->Delete1);
    popupMenu1_->addAction(ui->SaveAs1);
    popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N1"));
    popupMenu1_->addAction(ui->Close1);
    orvelle::ApplyHint(ui->Delete1, QStringLiteral("選択している画像を削除"));
    connect(ui->Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
    connect(ui->SaveAs1, &QAction::triggered, this, [this] { SaveAs1Click(); });
    connect(ui->Close1, &QAction::triggered, this, [this] { Close1Click(); });

    saveDialog1_->setObjectName(QStringLiteral("SaveDialog1"));
    saveDialog1_->setAcceptMode(QFileDialog::AcceptSave);
    // A copy replaces an existing file of the chosen name without a question.
    saveDialog1_->setOption(QFileDialog::DontConfirmOverwrite);

    FormCreate();
}

TCompForm::~TCompForm()
{
    FormDestroy();
}

QTreeWidget* TCompForm::TreeView1() const
{
    return ui->TreeView1;
}

QPlainTextEdit* TCompForm::Memo1() const
{
    return ui->Memo1;
}

QScrollArea* TCompForm::ScrollBox1() const
{
    return ui->ScrollBox1;
}

QWidget* TCompForm::PaintBox1() const
{
    return ui->PaintBox1;
}

QMenu* TCompForm::PopupMenu1() const
{
    return popupMenu1_;
}

QStatusBar* TCompForm::StatusBar1() const
{
    return ui->StatusBar1;
}

void TCompForm::FormCreate()
{
    orvelle::Guarded(prompts_, this, [this] {
        Picture = std::make_unique<TPicture>();
        FitView = false;
    });
}

void TCompForm::FormDestroy()
{
    orvelle::Guarded(prompts_, this, [this] { Picture.reset(); });
}

QTreeWidgetItem* TCompForm::SelectedFile() const
{
    // Files hang below their group's number. A group whose files were all
    // deleted has no children either, but its number names no file: taken
    // as a path, it could name one of that name in the current folder.
    QTreeWidgetItem* node = ui->TreeView1->currentItem();
    if (!node || !node->isSelected() || !node->parent())
        return nullptr;
    if (!orvelle::FileExists(orvelle::NodePath(*node)))
        return nullptr;
    return node;
}

double TCompForm::SizeOfFile(const QTreeWidgetItem& node) const
{
    return orvelle::SizeOfFile(orvelle::NodePath(node));
}

void TCompForm::TreeView1Click()
{
    orvelle::Guarded(prompts_, this, [this] {
        const QTreeWidgetItem* node = SelectedFile();
        if (!node)
            return;
        const QString path = orvelle::NodePath(*node);
        ui->PaintBox1->update();
        Picture->LoadFile(path);

        QPlainTextEdit* memo = ui->Memo1;
        const QLocale locale; // the system's, unless the program chose another
        memo->clear();
        memo->appendPlainText(orvelle::NameLine(path));
        memo->appendPlainText(orvelle::SizeLine(SizeOfFile(*node), locale));
        const std::optional<orvelle::FileStatus> status = orvelle::StatusOf(path);
        memo->appendPlainText(orvelle::TimeLine(status ? status->lastWrite : QDateTime(), locale));
        memo->appendPlainText(orvelle::WidthLine(Picture->Width()));
        memo->appendPlainText(orvelle::HeightLine(Picture->Height()));
        // The beginning of the first line, however long the path.
        memo->moveCursor(QTextCursor::Start);
        memo->ensureCursorVisible();

        if (!FitView)
            ui->PaintBox1->resize(Picture->Width(), Picture->Height());
        DrawPreview();
    });
}

void TCompForm::PaintBox1Paint()
{
    orvelle::Guarded(prompts_, this, [this] {
        QPainter painter(ui->PaintBox1);
        const QScopedValueRollback<QPainter*> painting(previewPainter_, &painter);
        DrawPreview();
    });
}

void TCompForm::DrawPreview()
{
    if (!Picture)
        return;
    // A widget paints only inside its paint event, which calls back here.
    if (!previewPainter_) {
        ui->PaintBox1->repaint();
        return;
    }
    PaintPreview(*previewPainter_);
}

void TCompForm::PaintPreview(QPainter& painter)
{
    const orvelle::PaintBox* box = ui->PaintBox1;
    const QRect exposed = box->Exposed();
    TCanvas canvas(painter, box->width(), box->height(),
                   {exposed.left(), exposed.top(), exposed.right() + 1, exposed.bottom() + 1});
    // Scaled anew at every repaint: no shrunk copy is kept.
    if (!FitView) {
        canvas.DrawAt(0, 0, Picture->Graphic());
        return;
    }
    canvas.DrawStretched(
        orvelle::FitRect(Picture->Width(), Picture->Height(), box->width(), box->height()),
        Picture->Graphic());
}

void TCompForm::PaintBox1DblClick()
{
    orvelle::Guarded(prompts_, this, [this] {
        FitView = !FitView;
        QScrollArea* scroll = ui->ScrollBox1;
        if (FitView) {
            // Resizable, the scroll box keeps its widget as large as its
            // visible area, through every resize of the window or splitter.
            scroll->setWidgetResizable(true);
        } else {
            scroll->setWidgetResizable(false);
            ui->PaintBox1->resize(Picture ? Picture->Width() : 0, Picture ? Picture->Height() : 0);
        }
        DrawPreview();
    });
}

void TCompForm::Delete1Click()
{
    orvelle::Guarded(prompts_, this, [this] {
        QTreeWidgetItem* node = SelectedFile();
        if (!node)
            return;
        if (!prompts_.Confirm(this, QStringLiteral("元に戻せません\n本当に削除しますか？")))
            return;
        const QString path = orvelle::NodePath(*node);
        // The node goes only with a file that is really gone.
        if (!orvelle::RemoveFile(path) && !IsGone(path))
            throw orvelle::EFDeleteError(orvelle::FileDeleteText(path));
        QTreeWidgetItem* parent = node->parent();
        QTreeWidget* tree = ui->TreeView1;
        std::unique_ptr<QTreeWidgetItem> removed(
            parent ? parent->takeChild(parent->indexOfChild(node))
                   : tree->takeTopLevelItem(tree->indexOfTopLevelItem(node)));
    });
}

void TCompForm::SaveAs1Click()
{
    orvelle::Guarded(prompts_, this, [this] {
        const QTreeWidgetItem* node = SelectedFile();
        if (!node)
            return;
        const QString source = orvelle::NodePath(*node);
        // The dialog is Qt's, which shows names as DisplayText() does.
        const QString extension = orvelle::DisplayText(orvelle::ExtractFileExt(source));
        saveDialog1_->setNameFilters(
            orvelle::ToQtNameFilters(QStringLiteral("画像ファイル|*") + extension));
        saveDialog1_->setDefaultSuffix(extension.mid(1));
        const QStringList chosen = prompts_.RunOpenDialog(*saveDialog1_);
        if (chosen.isEmpty())
            return;
        const QString target = chosen.front();
        // The next Save As in this window offers the same name again.
        saveDialog1_->selectFile(orvelle::DisplayText(target));
        // Another file of that name is replaced only when the user says so;
        // the picture saved over itself changes nothing and needs no answer.
        if (orvelle::IsFile(target) && !SameFile(target, source) &&
            !prompts_.Confirm(this, orvelle::OverwriteQuestion(target)))
            return;
        WriteWholeFile(target, ReadWholeFile(source));
    });
}

void TCompForm::Close1Click()
{
    orvelle::Guarded(prompts_, this, [this] { close(); });
}

bool TCompForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui->TreeView1->viewport())
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::ToolTip) {
        ShowCutOffNodeText(*static_cast<QHelpEvent*>(event));
        return true;
    }
    // The commands act on the node selected before the menu opened, so the
    // right button must not select; the context menu still comes.
    if (orvelle::IsRightButtonEvent(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TCompForm::ShowCutOffNodeText(const QHelpEvent& help)
{
    QTreeWidget* tree = ui->TreeView1;
    QWidget* viewport = tree->viewport();
    QTreeWidgetItem* item = tree->itemAt(help.pos());
    if (!item) {
        QToolTip::hideText();
        return;
    }
    // How wide the node would be drawn whole, against what the tree shows.
    const QModelIndex index = tree->indexFromItem(item);
    const QRect place = tree->visualItemRect(item);
    QStyleOptionViewItem option;
    option.initFrom(viewport);
    option.font = tree->font();
    option.fontMetrics = tree->fontMetrics();
    const int wholeWidth = tree->itemDelegateForIndex(index)->sizeHint(option, index).width();
    const bool cutOff = place.left() < 0 || place.left() + wholeWidth > viewport->width();
    if (!cutOff) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(help.globalPos(), item->text(0), viewport, place);
}

void TCompForm::keyPressEvent(QKeyEvent* event)
{
    // Only the close box, Alt+F4 and Close1 end the showing.
    if (!orvelle::TakeEscape(event))
        QDialog::keyPressEvent(event);
}

void TCompForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    orvelle::CentreOnScreen(*this);
}

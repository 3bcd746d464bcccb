#pragma once

#include <atomic>
#include <memory>

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "FileListRules.h"

class QFileDialog;
class QLabel;
class QListWidget;
class QMenu;
class QSessionManager;
class TCheckOptionDlg;
class TProgressDlg;

namespace Ui {
class TMainForm;
}

namespace orvelle {
class ApplicationHints;
class UserPrompts;
} // namespace orvelle

// The main window: the file list, the extension list, the tool strip, the
// menus and the status bar. Its handlers gather input and hand the work to
// the libraries.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // The settings live beside settingsBase (its name with ".ini", and the
    // extension list by default with ".ext"): the executable's own path, or
    // its name in the user's settings folder (SettingsPlace.h). Creating the
    // window loads them, destroying it writes them back.
    TMainForm(orvelle::UserPrompts& prompts, QString settingsBase, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The two dialogs that live as long as the program; created after this
    // window, handed to it once.
    void AttachDialogs(TProgressDlg* progress, TCheckOptionDlg* options);

    // Set by the check run and by the progress dialog's Cancel.
    std::atomic<bool> CancelFlag{false};
    // The fuzzy comparison's tolerances, loaded from and saved to the INI file.
    int Err_Count = 0;
    int Err_Clr = 0;
    // The options of the last confirmed check.
    bool ExactMode = true;
    bool IgnoreSize = true;

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void FormCloseQuery(bool& CanClose);
    void ApplicationHint();
    void mAddFilesClick();
    void mAddFolderClick();
    void mDeleteFileClick();
    void mClearClick();
    void mCheckClick();
    void mExitClick();
    void mAboutClick();
    void WMDropFiles(const QStringList& names);

    // The question a logout asks: true when the program may end. The answer
    // holds for the closing the session's end brings, and only until the
    // user works in the program again: another program may cancel the
    // logout, and the session then goes on with every close asking anew.
    bool AgreeToSessionEnd();

    // The paths the program was started with, appended in their order as a
    // file manager's "open with" hands them over: each folder's tree
    // searched for the files whose extensions are ticked, any other path
    // taken as it is.
    void OpenPaths(const QStringList& paths);

    // Appends the matching files of the tree below folder to the file list.
    void ScanFolder(const QString& folder);
    // True when the extension matches a ticked pattern of the extension list.
    bool ExtensionChecked(const QString& extension) const;

    QListWidget* ListBox1() const;
    QListWidget* CheckListBox1() const;
    QFileDialog* OpenDialog1() const;
    QMenu* PopupMenu1() const;
    // The texts of the status bar's two panels: the count and the hint.
    QString StatusPanelText(int panel) const;

    // The entries by their real paths (the list shows them as DisplayText()
    // does).
    QStringList FileList() const;
    bool CheckRunning() const noexcept { return runActive_; }
    orvelle::ExtensionItems ExtensionList() const;
    void SetExtensionPatterns(const QStringList& patterns);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildStatusPanels();
    void BuildPopupMenu();
    void NameSeparators();
    void ApplyHintsAndPictures();
    void ConnectCommands();
    void SetClientSize(int width, int height);
    void LoadSettings();
    void SaveSettings();
    void AppendEntries(const QStringList& paths);
    void SetFileList(const QStringList& paths);
    void ShowResults(const QStringList& MatchList);
    void RefreshCountText();
    void CommitSessionData(QSessionManager& manager);
    QPoint StoredPosition() const;
    // Runs a handler through the error guard.
    void Handle(void (TMainForm::*handler)());

    std::unique_ptr<Ui::TMainForm> ui;
    orvelle::UserPrompts& prompts_;
    const QString settingsBase_;
    std::unique_ptr<orvelle::ApplicationHints> hints_;
    QLabel* statusPanel0_ = nullptr;
    QLabel* statusPanel1_ = nullptr;
    QMenu* popupMenu1_ = nullptr;
    QFileDialog* openDialog1_ = nullptr;
    TProgressDlg* progressDlg_ = nullptr;
    TCheckOptionDlg* checkOptionDlg_ = nullptr;
    // The first file chosen in the last confirmed open-file dialog, offered
    // again as the dialog's initial file.
    QString lastChosenFile_;
    // Set while the stored extension list could not be read at start: writing
    // the layout's patterns over it at the end would lose the user's list.
    bool extensionListUnread_ = false;
    // The user has already agreed to close: the window waits for a running
    // check to end.
    bool closeAgreed_ = false;
    // The user agreed to end the session; it stands only for the closing
    // the session's end brings (AgreeToSessionEnd).
    bool sessionAgreed_ = false;
    bool closeRequested_ = false;
    // A check is running; commands that would change the list are refused.
    bool runActive_ = false;
    // Ends a folder scan early when the window closes during it.
    std::atomic<bool> scanCancel_{false};
};

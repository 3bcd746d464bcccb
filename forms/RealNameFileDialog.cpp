#include "RealNameFileDialog.h"

#include "NativeFiles.h"

namespace orvelle {

void RealNameFileDialog::accept()
{
    const FileMode mode = fileMode();
    if (mode != ExistingFile && mode != ExistingFiles && mode != Directory) {
        // Any name will do here; the caller finds what it stands for.
        QFileDialog::accept();
        return;
    }
    const QStringList shown = selectedFiles();
    bool anyResolved = false;
    bool allFit = !shown.isEmpty();
    for (const QString& name : shown) {
        const QString real = PathExists(name) ? name : ResolveShownPath(name);
        const std::optional<FileStatus> status = StatusOf(real);
        allFit = allFit && status && (mode == Directory) == (status->kind == EntryKind::Folder);
        anyResolved = anyResolved || real != name;
    }
    if (anyResolved && allFit) {
        // Past QFileDialog's check, which would look for the shown names.
        QDialog::accept();
        return;
    }
    QFileDialog::accept();
}

} // namespace orvelle

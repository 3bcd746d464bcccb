#pragma once

#include <QFileDialog>

namespace orvelle {

// Qt's own file dialog lists a name that is not UTF-8 with U+FFFD in it, and
// when asked for existing files or a folder it refuses such a name as
// missing ("File not found"), so the file could never be chosen. This one
// lets a chosen name through when it stands for exactly one existing entry
// of the kind asked for (ResolveShownPath); selectedFiles() still gives the
// shown names, which the caller resolves the same way.
class RealNameFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override;
};

} // namespace orvelle

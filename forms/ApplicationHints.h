#pragma once

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace orvelle {

// A hint "short|long" split at its first "|"; without one, the whole text is
// both parts.
struct HintParts {
    QString shortPart;
    QString longPart;
};
HintParts SplitHint(const QString& hint);

// Gives a control its hint: the short part as its tooltip, the long part as
// the text the application's current hint takes while the mouse rests on it.
void ApplyHint(QWidget* control, const QString& hint);
// The same for a menu item; an item without a hint makes the current hint
// empty while it is highlighted.
void ApplyHint(QAction* item, const QString& hint);

// The application's one current hint, shared by all its windows. It follows
// the status tips Qt raises when the mouse enters or leaves a control and when
// a menu item is highlighted, swallows them (no window shows them by itself)
// and announces every change, and only changes, through HintChanged.
class ApplicationHints final : public QObject {
    Q_OBJECT
public:
    // Watches every window of the running application until destroyed.
    explicit ApplicationHints(QObject* parent = nullptr);
    ~ApplicationHints() override;

    const QString& Hint() const noexcept { return hint_; }
    void SetHint(const QString& hint);

signals:
    void HintChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString hint_;
};

} // namespace orvelle

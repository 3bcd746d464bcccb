#pragma once

#include <functional>

#include <QWidget>

class QMouseEvent;
class QPaintEvent;

namespace orvelle {

// A surface that draws nothing of its own: its owner paints it whenever it
// needs repainting and hears its double clicks. What is left unpainted shows
// the background behind it.
class PaintBox final : public QWidget {
    Q_OBJECT
public:
    explicit PaintBox(QWidget* parent = nullptr);

    // Runs inside the paint event, so a QPainter may be opened on the box.
    void OnPaint(std::function<void()> handler);
    // Inside the paint handler, the part of the box being painted; outside
    // it, the whole box. A box as large as a huge picture is painted only
    // where it shows.
    QRect Exposed() const;
    // A double click of the left button.
    void OnDoubleClick(std::function<void()> handler);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::function<void()> paint_;
    std::function<void()> doubleClick_;
    QRect exposed_;
    bool painting_ = false;
};

} // namespace orvelle

#include "windowfit.h"

#include <QEvent>
#include <QObject>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

// Whether the window system has told WINDOW's frame: a decorated window's
// frame is larger than its client area.
bool frameKnown(const QWidget& window)
{
    return window.frameGeometry().size() != window.size();
}

void fitNow(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen || window.isMaximized() || window.isFullScreen())
        return;
    const QRect room = screen->availableGeometry();
    QSize border = window.frameGeometry().size() - window.size();
    // At a fractional scale the frame's size in device-independent pixels is
    // rounded, and may be a pixel short: a known frame counts one more.
    if (!border.isEmpty() && std::floor(window.devicePixelRatioF()) != window.devicePixelRatioF())
        border += QSize(1, 1);
    const QSize fits = window.size().boundedTo(room.size() - border).expandedTo(window.minimumSize());
    if (fits != window.size())
        window.resize(fits);
    const QRect frame = window.frameGeometry();
    QPoint corner = frame.topLeft();
    corner.setX(std::clamp(corner.x(), room.left(), std::max(room.left(), room.right() + 1 - frame.width())));
    corner.setY(std::clamp(corner.y(), room.top(), std::max(room.top(), room.bottom() + 1 - frame.height())));
    if (corner != frame.topLeft())
        window.move(corner);
}

// Fits its window again once the window system has told the frame.
class FrameWatch : public QObject {
public:
    static constexpr const char* kName = "frameWatch";

    explicit FrameWatch(QWidget& window)
        : QObject(&window)
        , window_(window)
    {
        setObjectName(QString::fromLatin1(kName));
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && frameKnown(window_)
            && (event->type() == QEvent::Move || event->type() == QEvent::Resize
                || event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)) {
            fitNow(window_);
            deleteLater();
        }
        return false;
    }

private:
    QWidget& window_;
};

} // namespace

QSize fittingSize(QSize wanted, QSize room, int scrollBar)
{
    QSize size = wanted.boundedTo(room);
    if (size.height() < wanted.height())
        size.setWidth(std::min(room.width(), size.width() + scrollBar));
    if (size.width() < wanted.width())
        size.setHeight(std::min(room.height(), size.height() + scrollBar));
    return size;
}

void fitIntoScreen(QWidget& window)
{
    fitNow(window);
    if (!frameKnown(window)
        && !window.findChild<QObject*>(QString::fromLatin1(FrameWatch::kName), Qt::FindDirectChildrenOnly))
        new FrameWatch(window);
}

#include "layout.h"

namespace {

// Sets a size only when it is not negative; a negative one would be refused
// by the window system, and the rest of the arrangement goes on without it.
void setSize(int& size, int value)
{
    if (value >= 0)
        size = value;
}

} // namespace

MainLayout designedMainLayout()
{
    MainLayout layout;
    layout.lbMsg = { 0, 8280, 11850, 315 };
    layout.btnStart = { 615, 7350, 1845, 585 };
    layout.btnEst = { 3195, 7350, 1830, 585 };
    layout.btnStop = { 6705, 7380, 1845, 585 };
    layout.btnEnd = { 9750, 7335, 1845, 585 };
    layout.lstCopied = { 4230, 2505, 7440, 4350 };
    layout.lbCheckFile = { 4230, 1995, 7275, 330 };
    layout.lbSec = { 2565, 6555, 1410, 330 };
    layout.lbSecDesc = { 1680, 6615, 840, 165 };
    layout.imgBG = { 0, 0, 11880, 8280 };
    return layout;
}

void arrangeMainLayout(MainLayout& l, int windowWidth, int windowHeight, int clientHeight)
{
    if (windowHeight >= kMinArrangeHeight && windowWidth >= kMinArrangeWidth) {
        const int msgHeight = l.lbMsg.height;
        setSize(l.lbMsg.width, windowWidth - 100 - l.lbMsg.left);
        l.lbMsg.top = clientHeight - msgHeight;
        l.btnStart.top = l.lbMsg.top - msgHeight - l.btnStart.height;
        l.btnEst.top = l.btnStop.top = l.btnEnd.top = l.btnStart.top;
        const int width = windowWidth - 300 - l.lstCopied.left;
        setSize(l.lstCopied.height, l.btnStart.top - msgHeight - l.lstCopied.top);
        setSize(l.lstCopied.width, width);
        setSize(l.lbCheckFile.width, width);
        l.lbSec.top = l.lstCopied.top + l.lstCopied.height - l.lbSec.height;
        l.lbSecDesc.top = l.lbSec.top + 100;
    }
    l.imgBG.left = 0;
    l.imgBG.top = 0;
    setSize(l.imgBG.width, windowWidth);
    setSize(l.imgBG.height, l.lbMsg.top);
}

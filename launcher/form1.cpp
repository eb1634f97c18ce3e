#include "launcher/form1.h"

#include "launcher/declared.h"
#include "launcher/layout.h"
#include "launcher/pictures.h"
#include "launcher/process_start.h"
#include "launcher/toolkit.h"

#include <cstdio>
#include <memory>

namespace {

// Window-level values.
int32_t MarginX = 0;
int32_t MarginY = 0;
int16_t FullScreenChoice = 1;

Form* Form1 = nullptr;
PictureControl* Image2 = nullptr;       // hover face of the quit button
PictureControl* Image3 = nullptr;       // hover face of the start button
PictureControl* Image4[2] = {};         // the toggle's pictures, always hidden
PictureControl* Image5 = nullptr;       // the display-mode toggle
constexpr uint32_t kTimer1Interval = 1; // milliseconds

void setSizeThenPosition(PictureControl& control, const TwipsRect& rect) {
    control.rect.width = rect.width;
    control.rect.height = rect.height;
    control.rect.left = rect.left;
    control.rect.top = rect.top;
}

void setVisible(PictureControl& control, bool visible) {
    if (control.visible != visible) {
        control.visible = visible;
        Form1->invalidate();
    }
}

void Timer1_Timer() {
    declared::POINT cursor;
    declared::GetCursorPos(&cursor);
    for (PictureControl* control : {Image2, Image3}) {
        declared::POINT corner;
        declared::ClientToScreen(*Form1, &corner);
        // cursorInside rounds the corner to window pixels and adds the offset.
        const bool inside = cursorInside(control->rect, cursor.x, cursor.y, corner.x, corner.y);
        setVisible(*control, inside);
    }
}

void Image2_Click() {
    endProcess(0);
}

void Image3_Click() {
    Form1->hide();
    if (startProgram(demoCommandLine(FullScreenChoice), executableFolder())) {
        endProcess(0);
    }
    showMessageBox("... ?", "Zantho1");
    endProcess(1);
}

void Image5_Click() {
    FullScreenChoice = toggleChoice(FullScreenChoice);
    Image5->picture = Image4[FullScreenChoice]->picture;
    Form1->invalidate();
}

} // namespace

bool Form_Load() {
    static Form form;
    Form1 = &form;
    const int32_t width = declared::GetSystemMetrics(declared::SM_CXSCREEN);
    const int32_t height = declared::GetSystemMetrics(declared::SM_CYSCREEN);
    if (width <= 0 || height <= 0 || !form.create("Form1", width, height)) {
        std::fprintf(stderr, "Zantho1: the display cannot give the launcher a window: %s\n",
                     width <= 0 || height <= 0 ? "no screen size" : form.error().c_str());
        return false;
    }
    // The controls, in creation order (which is also drawing order).
    Image2 = &form.addControl("Image2");
    Image2->picture = std::make_shared<const Picture>(makeQuitFace());
    Image2->stretch = true;
    Image2->onClick = Image2_Click;
    Image3 = &form.addControl("Image3");
    Image3->picture = std::make_shared<const Picture>(makeStartFace());
    Image3->stretch = true;
    Image3->onClick = Image3_Click;
    Image4[0] = &form.addControl("Image4(0)");
    Image4[0]->picture = std::make_shared<const Picture>(makeToggleWindow());
    Image4[1] = &form.addControl("Image4(1)");
    Image4[1]->picture = std::make_shared<const Picture>(makeToggleFull());
    Image5 = &form.addControl("Image5");
    Image5->stretch = true;
    Image5->onClick = Image5_Click;

    // The load step proper.
    form.setBackColor(kKeyRed);
    Image4[0]->visible = false;
    Image4[1]->visible = false;
    const int32_t cx = declared::GetSystemMetrics(declared::SM_CXSCREEN);
    const int32_t cy = declared::GetSystemMetrics(declared::SM_CYSCREEN);
    declared::SetWindowPos(form, 0, 0, cx, cy);
    form.setColorKey(kKeyRed);
    return true;
}

void Form_Activate() {
    Form1->show();
    const int32_t cx = declared::GetSystemMetrics(declared::SM_CXSCREEN);
    const int32_t cy = declared::GetSystemMetrics(declared::SM_CYSCREEN);
    const LauncherLayout layout = computeLayout(cx, cy);
    MarginX = layout.marginX;
    MarginY = layout.marginY;

    AppSurface deviceContext = Form1->deviceContext();
    declared::ReadPCX("backgd.png", &deviceContext, layout.pictureWidth, layout.pictureHeight,
                      MarginX, MarginY);

    setSizeThenPosition(*Image2, placeControl(layout, kImage2Design));
    Image2->visible = false;
    setSizeThenPosition(*Image3, placeControl(layout, kImage3Design));
    Image3->visible = false;
    FullScreenChoice = 1;
    Image5->picture = Image4[1]->picture;
    setSizeThenPosition(*Image5, placeControl(layout, kImage5Design));
    Form1->invalidate();
}

void Form_Run() {
    Form1->run(kTimer1Interval, Timer1_Timer);
}

#include "demo/desktop/message_box.h"

#include <SDL.h>
#include <cstdio>

namespace {

BoxAnswer showSdlBox(const char* text, const char* title, BoxIcon icon, BoxButtons buttons) {
    Uint32 flags = 0;
    switch (icon) {
    case BoxIcon::Warning:
        flags = SDL_MESSAGEBOX_WARNING;
        break;
    case BoxIcon::Stop:
        flags = SDL_MESSAGEBOX_ERROR;
        break;
    case BoxIcon::Information:
        flags = SDL_MESSAGEBOX_INFORMATION;
        break;
    case BoxIcon::None:
        break;
    }
    const SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1,
         "OK"}};
    const SDL_MessageBoxButtonData yesNo[] = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
                                              {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"}};
    SDL_MessageBoxData data{};
    data.flags = flags;
    data.title = title;
    data.message = text;
    if (buttons == BoxButtons::YesNo) {
        data.numbuttons = 2;
        data.buttons = yesNo;
    } else {
        data.numbuttons = 1;
        data.buttons = ok;
    }
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        std::fprintf(stderr, "(message box not shown: %s)\n", SDL_GetError());
        return BoxAnswer::NotShown;
    }
    return pressed == 1 ? BoxAnswer::Yes : BoxAnswer::No;
}

MessageBoxHandler currentHandler = showSdlBox;

} // namespace

BoxAnswer showMessageBox(const char* text, const char* title, BoxIcon icon, BoxButtons buttons) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    std::fflush(stderr);
    return currentHandler(text, title, icon, buttons);
}

void setMessageBoxHandler(MessageBoxHandler handler) {
    currentHandler = handler != nullptr ? handler : showSdlBox;
}

#pragma once

enum class BoxIcon { None, Warning, Stop, Information };
enum class BoxButtons { Ok, YesNo };

// Shows a modal box and writes its title and text to stderr first, since a
// box may never be seen. Returns true for OK or Yes. With no display the box
// is skipped (No).
bool showMessageBox(const char* text, const char* title, BoxIcon icon, BoxButtons buttons);

// Tests replace the box: SDL's boxes block until a person answers.
using MessageBoxHandler = bool (*)(const char* text, const char* title, BoxIcon icon,
                                   BoxButtons buttons);
void setMessageBoxHandler(MessageBoxHandler handler);

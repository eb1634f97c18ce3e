#pragma once

enum class BoxIcon { None, Warning, Stop, Information };
enum class BoxButtons { Ok, YesNo };

// What came of a box. A box that could not be shown (no display, no fonts,
// a broken display) was not answered: callers decide what that means.
enum class BoxAnswer { Yes, No, NotShown }; // OK counts as Yes

// Shows a modal box and writes its title and text to stderr first, since a
// box may never be seen.
BoxAnswer showMessageBox(const char* text, const char* title, BoxIcon icon, BoxButtons buttons);

// Tests replace the box: SDL's boxes block until a person answers.
using MessageBoxHandler = BoxAnswer (*)(const char* text, const char* title, BoxIcon icon,
                                        BoxButtons buttons);
void setMessageBoxHandler(MessageBoxHandler handler);

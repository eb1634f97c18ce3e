#pragma once

// Form1, the launcher's window: its load and activation steps, the hover
// test on Timer1 and the click handlers. Everything runs on the UI thread.

#include <cstdint>

// Creates Form1 (hidden) and runs its load step. False when the display
// cannot give us the window; the reason is on stderr.
bool Form_Load();
// Shows the window and runs the activation step: layout and background.
void Form_Activate();
// Runs Timer1 and the handlers until the launcher ends; never returns.
[[noreturn]] void Form_Run();

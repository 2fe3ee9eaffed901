#pragma once

// Resource numbers shared by the program's resource script and the window.
#define IconResource 1
#define BackgroundResource 100

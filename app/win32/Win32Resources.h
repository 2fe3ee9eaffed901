// Resource numbers shared by the program's resource script and the window.
#pragma once

#define IconResource 1
#define BackgroundResource 100

// Flicker-free painting for the Win32 labels.
#pragma once

#include <windows.h>

// Answers WM_PAINT by drawing the whole client area off screen first and copying it in one
// step: a picture with text on it, drawn in layers, does not flicker.
template <typename Painter> void PaintBuffered(HWND window, Painter paint) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const HDC memory = CreateCompatibleDC(dc);
    const HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    paint(memory);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &ps);
}

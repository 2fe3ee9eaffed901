#pragma once

#include <exception>

class QWidget;

// The application title: the caption of the exception display.
inline constexpr const char* ApplicationTitle = "QV Update Morvik 2";

// The application's default exception display: modal, error icon, one OK button; returns
// when the user has dismissed it.
void ShowException(QWidget* parent, const std::exception& error);

// The label types both TAsUrlLabel builds share.
#pragma once

// How a label places its text, the same for the Qt and the Win32 label.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

// The rule that chooses the window's face, without a toolkit.
#pragma once

#include <functional>
#include <optional>
#include <string>

// Which face the window takes, the same for every view: the first of FontFace and then
// SimilarFaces() that the system has itself and in which every label fits; where none fits,
// the first the system has; none where it has none of them (the toolkit's own choice then).
// `labelsFit` is asked only about installed faces.
std::optional<std::string>
ChooseFace(const std::function<bool(const std::string& face)>& installed,
           const std::function<bool(const std::string& face)>& labelsFit);

// The face the window's labels are drawn in, chosen alike for every view.
#include "FaceChoice.h"

#include "ControlTable.h"

#include <vector>

std::optional<std::string>
ChooseFace(const std::function<bool(const std::string& face)>& installed,
           const std::function<bool(const std::string& face)>& labelsFit) {
    std::vector<std::string> faces = {FontFace};
    faces.insert(faces.end(), SimilarFaces().begin(), SimilarFaces().end());
    std::optional<std::string> firstInstalled;
    for (const std::string& face : faces) {
        if (!installed(face))
            continue;
        if (labelsFit(face))
            return face;
        if (!firstInstalled)
            firstInstalled = face;
    }
    return firstInstalled;
}

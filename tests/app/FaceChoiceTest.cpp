#include "FaceChoice.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// On a system with `installed` faces, of which every label fits in `fitting`.
std::optional<std::string> Choice(const std::set<std::string>& installed,
                                  const std::set<std::string>& fitting) {
    return ChooseFace([&](const std::string& face) { return installed.count(face) != 0; },
                      [&](const std::string& face) { return fitting.count(face) != 0; });
}

// "MS Sans Serif" serves only where the system has it and every label shows whole in it (its
// bitmap sizes need not match the window's height); otherwise the next face that does.
TEST(FaceChoice, TheFirstInstalledFaceInWhichEveryLabelFitsIsTaken) {
    EXPECT_EQ(Choice({"MS Sans Serif", "Tahoma"}, {"MS Sans Serif", "Tahoma"}), "MS Sans Serif");
    EXPECT_EQ(Choice({"MS Sans Serif", "Tahoma"}, {"Tahoma"}), "Tahoma");
    EXPECT_EQ(Choice({"Tahoma", "DejaVu Sans"}, {"MS Sans Serif", "DejaVu Sans"}), "DejaVu Sans");

    // Where no face fits, the first the system has; where it has none, the toolkit chooses.
    EXPECT_EQ(Choice({"DejaVu Sans", "MS Sans Serif"}, {}), "MS Sans Serif");
    EXPECT_EQ(Choice({}, {"MS Sans Serif"}), std::nullopt);
    EXPECT_EQ(Choice({"Some Other Face"}, {"Some Other Face"}), std::nullopt);
}

} // namespace

#include "platform/ui/picture.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DecodePng, DecodesTheCompiledInPictures) {
    for (const char* name : {"logo.png", "idle.png"}) {
        const auto picture = ui::decodePng(resources::find(name));
        ASSERT_TRUE(picture) << name;
        EXPECT_EQ(picture->width, 128);
        EXPECT_EQ(picture->height, 128);
        EXPECT_EQ(picture->rgba.size(), 128u * 128u * 4u);
    }
}

TEST(DecodePng, KeepsPixelsAndAlpha) {
    const auto picture = ui::decodePng(resources::find("logo.png"));
    ASSERT_TRUE(picture);
    bool opaque = false;
    bool colour = false;
    for (std::size_t i = 0; i < picture->rgba.size(); i += 4) {
        opaque = opaque || picture->rgba[i + 3] == 255;
        colour = colour || picture->rgba[i] != 0 || picture->rgba[i + 1] != 0 || picture->rgba[i + 2] != 0;
    }
    EXPECT_TRUE(opaque);
    EXPECT_TRUE(colour);
}

TEST(DecodePng, RefusesWhatIsNoWholePng) {
    const std::string logo(resources::find("logo.png"));
    std::string corrupted = logo;
    corrupted[corrupted.size() / 2] ^= 0x5A;
    corrupted[corrupted.size() / 2 + 1] ^= 0x5A;
    const std::string cases[] = {
        "",
        "not a picture at all",
        std::string(resources::find("busy.gif")),
        logo.substr(0, 8),
        logo.substr(0, logo.size() / 2),
        corrupted,
    };
    for (const std::string& bytes : cases)
        EXPECT_FALSE(ui::decodePng(bytes)) << bytes.size() << " bytes";
}

} // namespace

#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The five skinned picture buttons, in the row order of the picture table.
enum class SkinButton { Img_1, Img_2, Img_Stop, Img_Pause, Img_Play };

enum class ButtonVisualState { Normal, Hover, Pressed };

inline constexpr std::size_t SkinButtonCount = 5;
inline constexpr std::size_t ButtonVisualStateCount = 3;

// File names of a skin, button by look. The spelling is exact: four names
// begin with a lower-case "b", and case matters on most file systems.
inline constexpr std::array<std::array<std::string_view, ButtonVisualStateCount>, SkinButtonCount>
    ButtonImageSet{{
        {"B0001.jpg", "B0002.jpg", "B0003.jpg"}, // Img_1
        {"B0005.jpg", "B0006.jpg", "B0007.jpg"}, // Img_2
        {"b0009.jpg", "B0010.jpg", "B0011.jpg"}, // Img_Stop
        {"b0013.jpg", "B0014.jpg", "B0015.jpg"}, // Img_Pause
        {"b0017.jpg", "b0018.jpg", "B0019.jpg"}, // Img_Play
    }};

static_assert(ButtonImageSet.size() == SkinButtonCount);
static_assert(ButtonImageSet[0].size() == ButtonVisualStateCount);
static_assert(static_cast<std::size_t>(SkinButton::Img_Play) + 1 == SkinButtonCount);
static_assert(static_cast<std::size_t>(ButtonVisualState::Pressed) + 1 == ButtonVisualStateCount);

constexpr std::string_view buttonImageName(SkinButton button, ButtonVisualState state)
{
    return ButtonImageSet[static_cast<std::size_t>(button)][static_cast<std::size_t>(state)];
}

#pragma once

#include "ButtonImageSet.h"

#include <functional>

// The hover, pressed and normal looks of the five skinned buttons: which
// pictures each mouse event swaps, in order. It remembers nothing.
class ButtonLooks
{
public:
    using Swap = std::function<void(SkinButton, ButtonVisualState)>;

    explicit ButtonLooks(Swap swap);

    // The pointer moved over a button, a mouse button held or not.
    void mouseMove(SkinButton button);
    // Any mouse button went down on a button.
    void mouseDown(SkinButton button);
    // The pointer moved over the window background.
    void backgroundMove();

private:
    Swap m_swap;
};

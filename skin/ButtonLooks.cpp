#include "ButtonLooks.h"

ButtonLooks::ButtonLooks(Swap swap)
    : m_swap(std::move(swap))
{
}

void ButtonLooks::mouseMove(SkinButton button)
{
    m_swap(button, ButtonVisualState::Hover);
    // The channel buttons sit one above the other: moving onto one puts the
    // other back, with no background move in between.
    if (button == SkinButton::Img_1)
        m_swap(SkinButton::Img_2, ButtonVisualState::Normal);
    else if (button == SkinButton::Img_2)
        m_swap(SkinButton::Img_1, ButtonVisualState::Normal);
}

void ButtonLooks::mouseDown(SkinButton button)
{
    m_swap(button, ButtonVisualState::Pressed);
}

void ButtonLooks::backgroundMove()
{
    for (SkinButton button : {SkinButton::Img_Play, SkinButton::Img_Pause, SkinButton::Img_Stop,
                              SkinButton::Img_1, SkinButton::Img_2})
        m_swap(button, ButtonVisualState::Normal);
}

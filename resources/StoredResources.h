#pragma once

// Registers the stored pictures and the icon (":/pictures/...", ":/icons/...").
// A static library's resources only register when asked; safe to call often.
void initStoredResources();

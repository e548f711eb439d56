#ifndef VELMAR_APP_DISPLAY_FIT_H
#define VELMAR_APP_DISPLAY_FIT_H

// The window places its widgets at fixed positions and sizes, drawn for an
// 8-point font at 96 dpi and compact style metrics. Display_fit makes the
// application's scaling, style and font such that every text of the window
// fits its widget, and is called twice from the entry point.
class Display_fit
{
public:
    // What the window is drawn with.
    enum class Choice
    {
        desktop, // the desktop's own style and font
        design   // Compact_style and a font of the layout's design size
    };

    // Before the application object exists: lets the desktop's scaling scale
    // the fixed geometry and the text together.
    static void prepare_scaling();

    // Once the application object exists and before the window is built:
    // keeps the desktop's style and font if the window's texts fit with them,
    // and otherwise switches to the design's.
    static Choice choose_style_and_font();
};

#endif

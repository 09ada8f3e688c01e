// One text renderer for the tests that play objects on the test's own thread
// (standing in for the render engine's text thread).
#pragma once

#include "text/RichEdit.h"

inline CRichEditTextRenderer& TextRenderer() {
    static CRichEditTextRenderer renderer;
    return renderer;
}

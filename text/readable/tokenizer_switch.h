#pragma once
// The tokenizer state for the text after a start tag, as the tree builder
// would set it; shared by the renderer and the article mode's page tree,
// which both drive the tokenizer from their own open-element stacks.

#include "text/readable/elements.h"
#include "text/readable/text_renderer.h"

namespace quillan::text::readable {

// Tells `tokenizer` the state for the text after the start tag of
// `element`; elements whose text the tokenizer reads as data tell it nothing.
inline void SwitchTokenizerAfter(TokenizerSwitch &tokenizer, Element element)
{
    switch (element) {
    case Element::Title:
    case Element::Textarea: tokenizer.switchTo(TextState::Rcdata); break;
    case Element::Style:
    case Element::Xmp:
    case Element::Iframe:
    case Element::Noembed:
    case Element::Noframes: tokenizer.switchTo(TextState::Rawtext); break;
    case Element::Script: tokenizer.switchTo(TextState::ScriptData); break;
    case Element::Plaintext: tokenizer.switchTo(TextState::Plaintext); break;
    default: break;
    }
}

} // namespace quillan::text::readable

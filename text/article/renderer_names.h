#pragma once
// The article's choice is rendered by the readable renderer and speaks its
// vocabulary: the elements it knows, its options, sink and style sheet.
#include "text/readable/elements.h"
#include "text/readable/style_sheet.h"
#include "text/readable/text_renderer.h"
#include "text/readable/tokenizer_switch.h"

namespace quillan::text::article {

using readable::Element;
using readable::ElementInfo;
using readable::ElementName;
using readable::InlineStyle;
using readable::LookupElement;
using readable::RenderOptions;
using readable::StyleSheet;
using readable::SwitchTokenizerAfter;
using readable::TextRenderer;
using readable::TextSink;
using readable::TextState;
using readable::TokenizerSwitch;

} // namespace quillan::text::article

#pragma once
// The renderer's (or the page tree's) word on the tokenizer's state, passed
// on to an html::Tokenizer: the switch both the readable mode and the
// article mode's token reading give their sinks.

#include "html/tokenizer/tokenizer.h"
#include "text/article/renderer_names.h"
#include "text/readable/text_renderer.h"

namespace quillan::text::article {

class TokenizerControl final : public TokenizerSwitch {
public:
    void attach(html::Tokenizer &tokenizer) { tokenizer_ = &tokenizer; }
    void switchTo(TextState state) override
    {
        using S = html::Tokenizer::TextState;
        switch (state) {
        case TextState::Data: tokenizer_->setState(S::Data); break;
        case TextState::Rcdata: tokenizer_->setState(S::Rcdata); break;
        case TextState::Rawtext: tokenizer_->setState(S::Rawtext); break;
        case TextState::ScriptData: tokenizer_->setState(S::ScriptData); break;
        case TextState::Plaintext: tokenizer_->setState(S::Plaintext); break;
        }
    }
    void setForeignContent(bool foreign) override { tokenizer_->setForeignContent(foreign); }

private:
    html::Tokenizer *tokenizer_ = nullptr;
};

} // namespace quillan::text::article

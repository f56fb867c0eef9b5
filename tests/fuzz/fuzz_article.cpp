// libFuzzer target: the article conversion (decoder, tokenizer, the page's
// tree and its scoring, renderer) on any bytes. The input fed in pieces
// chosen by the input itself must give exactly the text it gives fed whole,
// that text must be valid UTF-8, and it is never empty when the readable
// text of the same page shows any, unless even the whole body of the page's
// tree shows nothing (the tree builder can move the rest of a page into a
// closed details element, where the renderer reading the tokens still shows
// it). Kept with the account of its choice, the text is the same.
//
// By hand, for longer:  build-asan/bin/fuzz_article -max_total_time=600 CORPUS_DIR
#include "fuzz_text.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto [options, pieces, page] = fuzztext::split(data, size);

    quillan::text::Options article = options;
    article.kind = quillan::text::Kind::Article;
    const std::string whole = fuzztext::render(page, {}, article);
    if (!fuzztext::validUtf8(whole))
        std::abort();
    // The account of the choice (-v) changes nothing of it, and is text.
    quillan::text::Options told = article;
    told.account = quillan::text::Account::Keep;
    quillan::text::Result result;
    if (fuzztext::render(page, pieces, told, &result) != whole || !result.article ||
        !fuzztext::validUtf8(quillan::text::article::tell(*result.article)))
        std::abort();
    const std::string readable = fuzztext::render(page, {}, options);
    if (readable.find_first_not_of(" \n\t") != std::string::npos &&
        whole.find_first_not_of(" \n\t") == std::string::npos && !result.article->wholeBody)
        std::abort();
    return 0;
}

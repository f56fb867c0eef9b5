#include "text/envelope.h"

#include "text/metadata/front_matter.h"
#include "text/metadata/json_object.h"

#include <string>

namespace quillan::text {

namespace {

class EnvelopeConverter final : public Converter {
public:
    EnvelopeConverter(const Options &options, Sink &out, std::size_t sizeHint)
        : out_(out), envelope_(options.envelope), source_(options.source),
          // The stripped text keeps the page's CR LF line ends.
          lineEnd_(options.kind == Kind::Stripped ? "\r\n" : "\n")
    {
        Options inner = options;
        inner.envelope = Envelope::Text;
        inner.metadata = MetadataSearch::Find;
        converter_ = makeConverter(inner, held_, sizeHint);
    }

    void feed(std::string_view bytes) override { converter_->feed(bytes); }

    Result finish() override
    {
        Result result = converter_->finish();
        switch (envelope_) {
        case Envelope::Text: out_.write(text_); break;
        case Envelope::FrontMatter:
            out_.write(metadata::frontMatter(result.metadata, lineEnd_));
            out_.write(text_);
            break;
        case Envelope::Json:
        case Envelope::JsonLine:
            out_.write(metadata::jsonObject(result.metadata, text_, source_,
                                            envelope_ == Envelope::Json ? metadata::JsonLayout::Indented
                                                                        : metadata::JsonLayout::OneLine));
            break;
        }
        return result;
    }

private:
    Sink &out_;
    Envelope envelope_;
    std::string source_;
    std::string_view lineEnd_;
    std::string text_; // the text, held until the page has ended
    readable::StringSink held_{text_};
    std::unique_ptr<Converter> converter_;
};

} // namespace

std::unique_ptr<Converter> makeEnvelope(const Options &options, Sink &out, std::size_t sizeHint)
{
    return std::make_unique<EnvelopeConverter>(options, out, sizeHint);
}

} // namespace quillan::text

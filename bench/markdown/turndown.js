// Turndown (the HTML-to-Markdown converter behind most "save as Markdown"
// tools) as bench_markdown runs it: ATX headings, fenced code, "-" bullets.
// Usage: node turndown.js PAGE   (Turndown found through NODE_PATH)
// Required, it gives the same converter to readability.js.
const TurndownService = require('turndown');
const service = () => new TurndownService({headingStyle: 'atx', codeBlockStyle: 'fenced', bulletListMarker: '-'});
if (require.main === module) {
    const fs = require('fs');
    process.stdout.write(service().turndown(fs.readFileSync(process.argv[2], 'utf8')) + '\n');
} else {
    module.exports = service;
}

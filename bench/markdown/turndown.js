// Turndown (the HTML-to-Markdown converter behind most "save as Markdown"
// tools) as bench_markdown runs it: ATX headings, fenced code, "-" bullets.
// Usage: node turndown.js PAGE   (Turndown found through NODE_PATH)
const fs = require('fs');
const TurndownService = require('turndown');
const service = new TurndownService({headingStyle: 'atx', codeBlockStyle: 'fenced', bulletListMarker: '-'});
process.stdout.write(service.turndown(fs.readFileSync(process.argv[2], 'utf8')) + '\n');

// Readability.js (Firefox's reader view, whose choice of content is the
// markdown corpus's truth) and Turndown after it, as bench_markdown runs them
// on a whole page: the ceiling of the article road.
// Usage: node readability.js URL PAGE   (found through NODE_PATH)
const fs = require('fs');
const {JSDOM} = require('jsdom');
const {Readability} = require('@mozilla/readability');
const turndown = require('./turndown.js');
const [url, page] = process.argv.slice(2);
const dom = new JSDOM(fs.readFileSync(page), {url});
const article = new Readability(dom.window.document).parse();
const body = article ? turndown().turndown(article.content) : '';
process.stdout.write((article && article.title ? '# ' + article.title + '\n\n' : '') + body + '\n');

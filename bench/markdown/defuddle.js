// Defuddle (an article extractor that writes Markdown) on a whole page, as
// bench_markdown and the metadata score run it: the page parsed by jsdom as
// if fetched from URL, its content written as Markdown, or with --metadata
// what it says about the page, as JSON with the names score_metadata.py reads.
// Usage: node defuddle.js [--metadata] URL PAGE   (found through NODE_PATH)
const fs = require('fs');
const path = require('path');
const {JSDOM} = require('jsdom');
// Its Node entry is exported for import only: taken by its file beside the main one.
const {Defuddle} = require(path.join(path.dirname(require.resolve('defuddle')), 'node.js'));

const args = process.argv.slice(2);
const metadata = args[0] === '--metadata';
const [url, page] = metadata ? args.slice(1) : args;
const dom = new JSDOM(fs.readFileSync(page), {url});
Defuddle(dom.window.document, url, {markdown: !metadata}).then((r) => {
    if (!metadata) {
        process.stdout.write((r.title ? '# ' + r.title + '\n\n' : '') + r.content + '\n');
        return;
    }
    const fields = {title: r.title, author: r.author, date: r.published, site: r.site,
                    language: r.language, description: r.description};
    process.stdout.write(JSON.stringify(fields) + '\n');
});

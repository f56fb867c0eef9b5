#!/usr/bin/env python3
"""Checks every #include of the sources against the layering.

The sources are folders of layers, bottom up; a file may include its own
folder's headers and those of the layers below it, never above, so no arrow
runs up and there is no circle. The layers that are plain C++ include no Qt.

    check_layers.py SOURCE_ROOT            check the tree; exit 1 on any fault
    check_layers.py --planted SOURCE_ROOT  copy the tree, plant an upward
                                           include, and exit 0 only if the
                                           check finds exactly that fault
"""
import os
import re
import shutil
import sys
import tempfile

# What each layer may include besides itself.
LAYERS = {
    'base': set(),
    'html': {'base'},
    'text': {'base', 'html'},
    'convert': {'base', 'html', 'text'},
    'archive': {'base'},
    'cli': {'base', 'html', 'text', 'convert', 'archive'},
    'platform': {'base'},
    'netvane': {'base', 'platform'},
    'net': {'base', 'html', 'text', 'convert', 'archive', 'cli', 'platform'},
    # The module for Python: the kinds of text and the archive road.
    'python': {'base', 'html', 'text', 'convert', 'archive', 'cli'},
    # The windows create the connection-state component by its name, late
    # bound: they never include netvane.
    'gui': {'base', 'text', 'convert', 'net', 'platform'},
}
# Inside a layer: each folder's floor. text/metadata reads the page as the
# renderer does (its element table, its addresses, the article's switch of
# the tokenizer), and text/ puts it beside every kind. A folder includes folders on lower
# floors, and the folder it sits in (tools/ its service, module/ the
# browser's interfaces).
FLOORS = {
    'html/elements': 0, 'html/encoding': 0, 'html/tokenizer': 0, 'html/tree': 1, 'html/scan': 1,
    'text/strip': 0, 'text/readable': 0, 'text/article': 1, 'text/metadata': 2, 'text': 3,
    'platform/registry': 0, 'platform/inet': 0, 'platform/netstate': 0, 'platform/process': 0,
    'platform/htmlhelp': 0, 'platform/com': 1,
    'gui/window': 0, 'gui/viewer': 1, 'gui/about': 1, 'gui/browser': 1, 'gui/browser/module': 2, 'gui/shell': 3,
}
PLAIN = {'base', 'html', 'text', 'convert', 'archive', 'cli', 'python'}
SOURCE_EXT = ('.cpp', '.h', '.c', '.inc')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def floor_of(folder):
    while folder not in FLOORS and '/' in folder:
        folder = folder.rsplit('/', 1)[0]
    return FLOORS.get(folder)


def allowed(src_folder, dst_folder):
    src_layer, dst_layer = src_folder.split('/')[0], dst_folder.split('/')[0]
    if src_layer != dst_layer:
        return dst_layer in LAYERS[src_layer]
    if src_folder == dst_folder or src_folder.startswith(dst_folder + '/'):
        return True
    src_floor, dst_floor = floor_of(src_folder), floor_of(dst_folder)
    return src_floor is not None and dst_floor is not None and dst_floor < src_floor


def faults(root):
    found = []
    for layer in LAYERS:
        for folder, _, names in os.walk(os.path.join(root, layer)):
            for name in sorted(names):
                if not name.endswith(SOURCE_EXT):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                src_folder = os.path.dirname(rel)
                with open(path, encoding='utf-8', errors='replace') as f:
                    text = f.read()
                for m in INCLUDE.finditer(text):
                    kind, target = m.group(1), m.group(2)
                    line = text.count('\n', 0, m.start()) + 1
                    where = '%s:%d: #include %s' % (rel, line, kind + target + ('"' if kind == '"' else '>'))
                    if kind == '<':
                        if layer in PLAIN and re.match(r'Q[A-Za-z]', target):
                            found.append(where + ': Qt in a layer of plain C++')
                        continue
                    if '/' not in target:
                        if not os.path.exists(os.path.join(folder, target)) and not target.endswith(
                                ('.moc', '_version.h')):
                            found.append(where + ': no such file beside it')
                        continue
                    top = target.split('/')[0]
                    if top not in LAYERS:
                        continue  # generated headers
                    if not os.path.exists(os.path.join(root, target)):
                        found.append(where + ': no such file')
                        continue
                    dst_folder = os.path.dirname(target)
                    if not allowed(src_folder, dst_folder):
                        found.append(where + ': %s may not include %s' % (src_folder, dst_folder))
    return found


def planted(root):
    with tempfile.TemporaryDirectory() as tmp:
        for layer in LAYERS:
            shutil.copytree(os.path.join(root, layer), os.path.join(tmp, layer))
        victim = os.path.join(tmp, 'base', 'fd_io.cpp')
        with open(victim, encoding='utf-8') as f:
            text = f.read()
        with open(victim, 'w', encoding='utf-8') as f:
            f.write('#include "html/tree/document.h"\n' + text)
        found = faults(tmp)
    expected = 'base/fd_io.cpp:1: #include "html/tree/document.h": base may not include html/tree'
    if found != [expected]:
        print('planted upward include: expected exactly\n  %s\nfound\n  %s' % (expected, '\n  '.join(found)))
        return 1
    print('planted upward include found: ' + found[0])
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == '--planted':
        return planted(argv[2])
    if len(argv) != 2:
        print(__doc__)
        return 2
    found = faults(argv[1])
    for f in found:
        print(f)
    print('%d includes against the layering' % len(found))
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

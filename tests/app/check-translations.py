#!/usr/bin/env python3
"""Checks that every window text has its English translation.

  check-translations.py LUPDATE SOURCE-ROOT TS-FILE FOLDER...

lupdate collects the texts given to tr(), translate() and QT_TRANSLATE_NOOP in the folders
into a copy of TS-FILE: a text it adds (unfinished) or one whose translation is empty has no
English. Every Chinese string literal of the folders must be one of those texts: one that is
not is a window text that never reaches the translation.
"""

import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

# Chinese characters and the full-width punctuation written with them.
CHINESE = re.compile('[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]')
# Files whose Chinese is no window text: brindle's --help names the window's pages as they read.
NOT_WINDOW_TEXT = {'app/StartOptions.cpp'}

STRING = r'"(?:[^"\\\n]|\\.)*"'
COMMENT = re.compile(r'//[^\n]*|/\*.*?\*/', re.S)
# A string literal, or adjacent ones, which C++ joins into one.
LITERALS = re.compile(r'(?:%s\s*)+' % STRING)


def unescape(literal):
    # A literal of bytes that are no UTF-8 ("\xff" in a test of binary data) is no window text:
    # its bytes come out as U+FFFD.
    parts = re.findall(STRING, literal)
    return ''.join(bytes(p[1:-1], 'utf-8').decode('unicode_escape').encode('latin-1').decode('utf-8', 'replace')
                   for p in parts)


def chinese_literals(root, folders):
    for folder in folders:
        for path in sorted((root / folder).rglob('*')):
            if path.suffix not in ('.cpp', '.h') or str(path.relative_to(root)) in NOT_WINDOW_TEXT:
                continue
            text = path.read_text('utf-8')
            # Comments go, but leave their line breaks so that line numbers stay right.
            text = COMMENT.sub(lambda m: '\n' * m.group(0).count('\n'), text)
            for match in LITERALS.finditer(text):
                value = unescape(match.group(0))
                if CHINESE.search(value):
                    yield path.relative_to(root), text.count('\n', 0, match.start()) + 1, value


def main():
    lupdate, root, ts_file, folders = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3]), sys.argv[4:]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        updated = Path(scratch) / ts_file.name
        shutil.copy(ts_file, updated)
        subprocess.run([lupdate, '-silent', '-locations', 'none', '-no-obsolete', '-extensions', 'cpp,h',
                        *folders, '-ts', str(updated)], cwd=root, check=True)
        messages = ElementTree.parse(updated).getroot().iter('message')
        sources = set()
        for message in messages:
            source = message.findtext('source')
            translation = message.find('translation')
            sources.add(source)
            if translation is None or translation.get('type') == 'unfinished' or not (translation.text or '').strip():
                failures.append('no English for "%s": add it to %s (see app/CMakeLists.txt)' % (source, ts_file))
    for path, line, value in chinese_literals(root, folders):
        if value not in sources:
            failures.append('%s:%d: "%s" is shown without tr()' % (path, line, value))
    for failure in failures:
        print('FAIL: ' + failure, file=sys.stderr)
    if failures:
        return 1
    print('Every one of the %d window texts has its English translation.' % len(sources))
    return 0


if __name__ == '__main__':
    sys.exit(main())

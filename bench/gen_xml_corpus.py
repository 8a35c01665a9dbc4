#!/usr/bin/env python3
"""Writes the XML benchmark corpus: four shapes of about 10 MB each.

The output is deterministic (fixed seed, no clock), so figures from different
runs and machines are measured on the same bytes.

usage: gen_xml_corpus.py OUT_DIR [SIZE_MB]
"""
import os
import random
import sys

WORDS = ("alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo "
         "lima mike november oscar papa quebec romeo sierra tango uniform victor "
         "whiskey xray yankee zulu").split()


def attribute_records(rnd, target):
    """Flat records with many attributes each and no text."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<records>\n']
    size, n = 0, 0
    while size < target:
        attrs = ' '.join('%s="%s"' % (k, v) for k, v in (
            ('id', n),
            ('name', rnd.choice(WORDS) + ' ' + rnd.choice(WORDS)),
            ('city', rnd.choice(WORDS).capitalize()),
            ('zip', '%05d' % rnd.randrange(100000)),
            ('amount', '%d.%02d' % (rnd.randrange(100000), rnd.randrange(100))),
            ('state', rnd.choice(('open', 'closed', 'pending'))),
            ('tag', rnd.choice(WORDS)),
            ('ts', '2026-%02d-%02dT%02d:%02d:00' % (rnd.randrange(1, 13), rnd.randrange(1, 29),
                                                   rnd.randrange(24), rnd.randrange(60))),
        ))
        line = '  <record %s/>\n' % attrs
        out.append(line)
        size += len(line)
        n += 1
    out.append('</records>\n')
    return ''.join(out)


def deep_nesting(rnd, target):
    """Chains 96 elements deep, each level with one attribute and a little
    text, repeated. 96 stays below tinyxml2's depth limit of 100 (and
    libxml2's default of 256), so that every peer reads the file."""
    out = ['<deep>']
    size = 0
    while size < target:
        depth = 96
        names = [rnd.choice(WORDS) for _ in range(depth)]
        piece = []
        for i, name in enumerate(names):
            piece.append('<%s level="%d">%s' % (name, i, rnd.choice(WORDS)))
        for name in reversed(names):
            piece.append('</%s>' % name)
        s = ''.join(piece) + '\n'
        out.append(s)
        size += len(s)
    out.append('</deep>\n')
    return ''.join(out)


def entity_text(rnd, target):
    """Paragraphs dense with predefined entities and character references."""
    refs = ('&lt;', '&gt;', '&amp;', '&quot;', '&apos;', '&#169;', '&#x20AC;',
            '&#233;', '&#x1F600;', '&#10;', '&#x3B1;')
    out = ['<doc>\n']
    size = 0
    while size < target:
        parts = []
        for _ in range(rnd.randrange(20, 60)):
            parts.append(rnd.choice(WORDS))
            parts.append(rnd.choice(refs) if rnd.random() < 0.6 else ' ')
        s = '<p>%s</p>\n' % ''.join(parts)
        out.append(s)
        size += len(s)
    out.append('</doc>\n')
    return ''.join(out)


def tiny_elements(rnd, target):
    """Many one- or two-letter elements, most empty, some with a short text."""
    out = ['<r>']
    size = 0
    while size < target:
        parts = []
        for _ in range(64):
            name = rnd.choice('abcdefghij') + rnd.choice(('', 'x', 'y'))
            if rnd.random() < 0.5:
                parts.append('<%s/>' % name)
            else:
                parts.append('<%s>%d</%s>' % (name, rnd.randrange(100), name))
        s = ''.join(parts) + '\n'
        out.append(s)
        size += len(s)
    out.append('</r>\n')
    return ''.join(out)


SHAPES = (
    ('attributes.xml', attribute_records),
    ('deep.xml', deep_nesting),
    ('entities.xml', entity_text),
    ('tiny.xml', tiny_elements),
)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out_dir = sys.argv[1]
    target = int(float(sys.argv[2]) * 1024 * 1024) if len(sys.argv) > 2 else 10 * 1024 * 1024
    os.makedirs(out_dir, exist_ok=True)
    for i, (name, make) in enumerate(SHAPES):
        text = make(random.Random(5100 + i), target)
        with open(os.path.join(out_dir, name), 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)
        print('%s: %d bytes' % (name, len(text.encode('utf-8'))))


if __name__ == '__main__':
    main()

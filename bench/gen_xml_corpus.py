#!/usr/bin/env python3
"""Writes the XML benchmark corpus: five shapes of about SIZE_MB (default 10)
each, and the tiny-element shape at 1, 10 and 100 MB for the scaling rows.

The output is deterministic (fixed seed, no clock), so figures from different
runs and machines are measured on the same bytes. A file already there with
the expected size is kept (the 100 MB one takes a while to write).

usage: gen_xml_corpus.py OUT_DIR [SIZE_MB] [--no-scaling]
(--no-scaling: leave out the tiny-element files of fixed sizes)
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
    """Paragraphs dense with predefined entities and character references,
    one in four with a CDATA section."""
    refs = ('&lt;', '&gt;', '&amp;', '&quot;', '&apos;', '&#169;', '&#x20AC;',
            '&#233;', '&#x1F600;', '&#10;', '&#x3B1;')
    out = ['<doc>\n']
    size = 0
    while size < target:
        parts = []
        for _ in range(rnd.randrange(20, 60)):
            parts.append(rnd.choice(WORDS))
            parts.append(rnd.choice(refs) if rnd.random() < 0.6 else ' ')
        if rnd.random() < 0.25:
            parts.append('<![CDATA[%s <%s> & %s]]>' % (rnd.choice(WORDS), rnd.choice(WORDS),
                                                    rnd.choice(WORDS)))
        s = '<p>%s</p>\n' % ''.join(parts)
        out.append(s)
        size += len(s)
    out.append('</doc>\n')
    return ''.join(out)


def side_leaf_chains(rnd, target):
    """Chains 40 to 80 elements deep with a side leaf at every level, before
    the level below it and after it, so that each parent holds several
    children of different names. 80 stays below tinyxml2's depth limit."""
    out = ['<chains>']
    size = 0
    while size < target:
        depth = rnd.randrange(40, 81)
        names = [rnd.choice(WORDS) for _ in range(depth)]
        piece = []
        for i, name in enumerate(names):
            piece.append('<%s n="%d"><%s>%s</%s>' % (name, i, name[:2], rnd.choice(WORDS), name[:2]))
        for name in reversed(names):
            piece.append('<x%s/></%s>' % (name[0], name))
        s = ''.join(piece) + '\n'
        out.append(s)
        size += len(s)
    out.append('</chains>\n')
    return ''.join(out)


def tiny_elements(rnd, target):
    """One-letter elements holding texts of 1 to 3 bytes, grouped in
    one-letter records, without any white space."""
    letters = 'abcdefghijklmnopqrstuvwxyz'
    out = ['<r>']
    size = 0
    while size < target:
        parts = []
        for _ in range(64):
            record = rnd.choice(letters)
            parts.append('<%s>' % record)
            for _ in range(rnd.randrange(2, 9)):
                name = rnd.choice(letters)
                parts.append('<%s>%d</%s>' % (name, rnd.randrange(1000), name))
            parts.append('</%s>' % record)
        s = ''.join(parts)
        out.append(s)
        size += len(s)
    out.append('</r>\n')
    return ''.join(out)


# (file, generator, size in MB; None: SIZE_MB)
SHAPES = (
    ('attributes.xml', attribute_records, None),
    ('deep.xml', deep_nesting, None),
    ('chains.xml', side_leaf_chains, None),
    ('entities.xml', entity_text, None),
    ('tiny-1mb.xml', tiny_elements, 1),
    ('tiny-10mb.xml', tiny_elements, 10),
    ('tiny-100mb.xml', tiny_elements, 100),
)


def main():
    args = [a for a in sys.argv[1:] if a != '--no-scaling']
    scaling = len(args) == len(sys.argv) - 1
    if not args:
        sys.exit(__doc__)
    out_dir = args[0]
    size_mb = float(args[1]) if len(args) > 1 else 10
    os.makedirs(out_dir, exist_ok=True)
    for i, (name, make, mb) in enumerate(SHAPES):
        if mb is not None and not scaling:
            continue
        target = int((size_mb if mb is None else mb) * 1024 * 1024)
        path = os.path.join(out_dir, name)
        # The same seed per shape at every size: the small files are the
        # beginning of the large ones.
        seed = 5100 + (i if mb is None else 4)
        if os.path.exists(path) and target <= os.path.getsize(path) < target + 64 * 1024:
            print('%s: %d bytes (kept)' % (name, os.path.getsize(path)))
            continue
        text = make(random.Random(seed), target)
        with open(path, 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)
        print('%s: %d bytes' % (name, len(text.encode('utf-8'))))


if __name__ == '__main__':
    main()

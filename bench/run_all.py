#!/usr/bin/env python3
"""Runs the benchmarks behind docs/bench_table.md and prints the table.

usage: run_all.py BUILD_DIR   (bench/run-all.sh builds first, then calls this)

Rules every figure follows:
- one library (or one kind of lookup) per process, so that no measurement
  runs on the heap another one left behind; a process warms up on the same
  operation before its timed samples;
- processes of the libraries compared are interleaved in rounds (the order
  turns each round) and a ratio is taken within each round, then the median
  of the rounds' ratios is reported, so that load changes during the run
  touch both sides of a ratio alike;
- instructions are callgrind counts of the measured call alone (stable);
  times are CPU time of the measuring thread (the machine is shared);
- the load average is printed before and after.

XML times are given twice: "warm heap" (glibc keeps freed memory: trim and
mmap thresholds raised through GLIBC_TUNABLES, so a parse reuses pages the
warm-up faulted in; the parser's own work) and "glibc default" (freed memory
goes back to the system and each parse faults it in again, as a process that
parses once sees it).
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

WARM_HEAP = 'glibc.malloc.trim_threshold=4294967295:glibc.malloc.mmap_threshold=4294967295'
LOG_FILE = [None]  # run-all.log, written as the run goes


def log(line):
    if LOG_FILE[0] is not None:
        LOG_FILE[0].write(line + '\n')
        LOG_FILE[0].flush()


def progress(what):
    sys.stderr.write('[%s] %s (load %s)\n' % (time.strftime('%H:%M:%S'), what, loadavg()))
    sys.stderr.flush()


def loadavg():
    with open('/proc/loadavg') as f:
        return ' '.join(f.read().split()[:3])


def run(cmd, env=None):
    e = dict(os.environ)
    e.pop('GLIBC_TUNABLES', None)
    if env:
        e.update(env)
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=e)
    log('$ %s%s\n%s%s' % (' '.join('%s=%s' % kv for kv in (env or {}).items()) + ' ' if env else '',
                          ' '.join(cmd), p.stdout, p.stderr))
    return p


def fields(line):
    return dict(kv.split('=', 1) for kv in line.split() if '=' in kv)


def callgrind(cmd, toggle):
    """Instructions of the calls matching `toggle`, or None."""
    with tempfile.NamedTemporaryFile(suffix='.cg') as out:
        p = run(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out.name,
                 '--toggle-collect=' + toggle] + cmd)
        if p.returncode != 0:
            return None
        for line in open(out.name):
            if line.startswith(('summary:', 'totals:')):
                n = int(line.split()[1])
                return n if n > 0 else None
    return None


def median(xs):
    return statistics.median(xs) if xs else None


def fmt(x, pattern='%.2f', none='-'):
    return none if x is None else pattern % x


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    bench = os.path.join(build, 'bench')
    here = os.path.dirname(os.path.abspath(__file__))
    xb = os.path.join(bench, 'xml_bench')
    mb = os.path.join(bench, 'modules_bench')
    rb = os.path.join(bench, 'registry_bench')
    started = time.time()
    LOG_FILE[0] = open(os.path.join(bench, 'run-all.log'), 'w')
    load_before = loadavg()
    build_type = '?'
    for line in open(os.path.join(build, 'CMakeCache.txt')):
        if line.startswith('CMAKE_BUILD_TYPE:'):
            build_type = line.split('=', 1)[1].strip()
    commit = subprocess.run(['git', '-C', here, 'rev-parse', '--short', 'HEAD'], stdout=subprocess.PIPE,
                            text=True).stdout.strip()

    # ---- corpus: 10 MB shapes and the scaling files for times; the same
    # shapes at 2 MB (their beginnings) for callgrind, which runs ~50x slower.
    corpus = os.path.join(bench, 'xml_corpus')
    corpus2 = os.path.join(bench, 'xml_corpus_2mb')
    run([sys.executable, os.path.join(here, 'gen_xml_corpus.py'), corpus, '10'])
    run([sys.executable, os.path.join(here, 'gen_xml_corpus.py'), corpus2, '2', '--no-scaling'])
    have = [l.split()[0] for l in run([xb, '--list']).stdout.splitlines()]
    libs = [l for l in ('ezxml', 'pugixml', 'rapidxml') if l in have]
    peers = [l for l in libs if l != 'ezxml']

    shapes = [
        ('records with 8 attributes', 'attributes.xml'),
        ('chains 96 deep, a word per level', 'deep.xml'),
        ('chains 40-80 deep, side leaves at every level', 'chains.xml'),
        ('text dense with references, CDATA', 'entities.xml'),
    ]
    real = [p for p in ('/usr/share/mime/packages/freedesktop.org.xml',
                        '/usr/share/xml/iso-codes/iso_639-3.xml',
                        '/usr/share/xml/iso-codes/iso_3166-2.xml') if os.path.exists(p)]
    # (label, file for times, file for callgrind)
    rows = [(label, os.path.join(corpus, f), os.path.join(corpus2, f)) for label, f in shapes]
    for mbsize in (1, 10, 100):
        f = os.path.join(corpus, 'tiny-%dmb.xml' % mbsize)
        rows.append(('one-letter elements, 1-3 byte texts, %d MB' % mbsize, f, f if mbsize < 100 else None))
    rows += [('real: ' + os.path.basename(p), p, p) for p in real]

    progress('XML instructions (callgrind)')
    # ---- XML instructions (two callgrind processes at a time: counts do
    # not depend on the load).
    jobs = []
    for label, _, cg in rows:
        if cg is None:
            continue
        for lib in libs:
            jobs.append((label, 'parse', lib, cg))
            if 'MB' not in label or '1 MB' in label:
                jobs.append((label, 'serialize', lib, cg))
    for lib in libs:
        jobs.append(('reference', 'lookup', lib, 'reference'))

    def count(job):
        label, op, lib, path = job
        n = callgrind([xb, '--callgrind', lib, op, path], '*measured_*')
        size = 1000 if path == 'reference' else os.path.getsize(path)
        return job, (n / size if n else None)

    instr = {}
    with ThreadPoolExecutor(2) as pool:
        for (label, op, lib, _), v in pool.map(count, jobs):
            instr[(label, op, lib)] = v
    t_cg = time.time() - started

    # ---- XML times, interleaved rounds, one process per library and round.
    def time_rows(op, modes, rows_to_time):
        result = {}  # (mode, label, lib) -> [median ns per round], and ('rss', ...)
        for mode in modes:
            env = {'GLIBC_TUNABLES': WARM_HEAP} if mode == 'warm' else None
            for label, path, _ in rows_to_time:
                progress('  %s %s, %s' % (op, label, mode))
                size = 121 if path == 'reference' else os.path.getsize(path)
                big = size > 50 * 1024 * 1024
                rounds = 1 if big else (3 if size > 4 * 1024 * 1024 else 5)
                order = libs + (['memchr'] if op == 'parse' and path != 'reference' else [])
                for r in range(rounds):
                    turn = order[r % len(order):] + order[:r % len(order)]
                    for lib in turn:
                        # About 0.2 s of samples per process once a sample's
                        # time is known: 1 to 11 of them.
                        known = result.get((mode, label, lib))
                        samples = 1 if big else 3
                        if known and not big:
                            per = known[0] * (1000 if path == 'reference' else 1)
                            samples = max(1, min(11, int(2e8 / max(per, 1.0))))
                        p = run([xb, '--time', lib, op, path, str(samples)], env)
                        if p.returncode != 0 or not p.stdout.strip():
                            continue
                        f = fields(p.stdout.strip().splitlines()[-1])
                        result.setdefault((mode, label, lib), []).append(float(f['median_ns']))
                        result.setdefault(('rss', mode, label, lib), []).append(int(f['maxrss_kib']))
        return result

    def ratio(result, mode, label, lib, against):
        """Median over rounds of lib's time / the peers' (the best of them)."""
        mine = result.get((mode, label, lib))
        theirs = [result.get((mode, label, p)) for p in against]
        if not mine or any(not t for t in theirs):
            return None
        n = min([len(mine)] + [len(t) for t in theirs])
        return median([mine[i] / min(t[i] for t in theirs) for i in range(n)])

    parse_rows = rows + [('reference', 'reference', 'reference')]
    progress('XML times')
    t0 = time.time()
    tp = time_rows('parse', ('warm', 'glibc'), [r for r in parse_rows if r[0] != 'reference'])
    tp.update(time_rows('lookup', ('warm', 'glibc'), [('reference', 'reference', None)]))
    t_parse = time.time() - t0
    t0 = time.time()
    ts = time_rows('serialize', ('warm',), [r for r in rows if 'MB' not in r[0] or '1 MB' in r[0]])
    t_ser = time.time() - t0

    # ---- module lookups
    progress('module lookups')
    t0 = time.time()
    kinds = ['first2000', 'plainfirst2000', 'first16', 'plainfirst16', 'switch2000', 'plainswitch2000',
             'switch16', 'plainswitch16', 'buffer', 'present', 'missing', 'plain', 'gettext', 'icu']

    def mcount(kind):
        n = callgrind([mb, '--count', kind, '2000'], '*MeasuredRun*')
        return kind, (n / 2000 if n else None)

    with ThreadPoolExecutor(2) as pool:
        minstr = dict(pool.map(mcount, kinds))
    mtime = {}
    groups = ['first2000,plainfirst2000,first16,plainfirst16', 'switch2000,plainswitch2000,switch16,plainswitch16',
              'buffer,present,missing,plain', 'gettext', 'icu']
    for g in groups:
        p = run([mb, '--time', g, '15'])
        for line in p.stdout.splitlines():
            f = fields(line)
            if 'kind' in f:
                mtime[f['kind']] = float(f['median_ns'])
    t_mod = time.time() - t0

    # ---- registry: one benchmark per process
    progress('registry')
    t0 = time.time()
    reg = {}
    for name in ('ReadRandomValue', 'ShrinkingWrite', 'DeleteValue'):
        for n in (10, 10000, 100000):
            # registry_bench prints through its own console reporter: the
            # JSON goes to a file.
            out = os.path.join(bench, 'registry-run.json')
            run([rb, '--benchmark_filter=^BM_%s/%d/' % (name, n), '--benchmark_out=' + out,
                 '--benchmark_out_format=json'])
            try:
                with open(out) as f:
                    b = json.load(f)['benchmarks'][0]
                if not b.get('error_occurred'):
                    reg[(name, n)] = (b['cpu_time'], b['real_time'], b['time_unit'])
            except (OSError, ValueError, KeyError, IndexError):
                pass
    t_reg = time.time() - t0
    load_after = loadavg()

    # ---- the table
    out = []
    w = out.append
    w('# Speed table (bench/run-all.sh)')
    w('')
    w('Commit %s, %s build, load average %s before and %s after; %.0f s in all '
      '(callgrind %.0f, XML times %.0f + %.0f, modules %.0f, registry %.0f).'
      % (commit, build_type, load_before, load_after, time.time() - started, t_cg, t_parse, t_ser, t_mod, t_reg))
    w('')
    w('Instructions: per input byte of parse + free (reference document: per parse + lookup + free), '
      'callgrind, shapes at 2 MB. Time ratios: ezxml\'s CPU time / the peer\'s, median of 3 interleaved '
      'rounds (files of 2 MB or less: 5, 100 MB: 1), shapes at 10 MB; at or under 1.00 means ezxml is no slower. '
      '"best" = the faster peer of each round. Warm heap: freed memory kept by glibc; glibc default: '
      'returned to the system and faulted in again by each parse.')
    w('')
    hdr = '| shape | ezxml | ' + ' | '.join(peers) + ' | ezxml / best | time / pugixml | time / RapidXML | time / best | time / best, glibc default | memchr floor, GB/s | ezxml / memchr | pugixml / memchr |'
    w(hdr)
    w('|' + '---|' * (hdr.count('|') - 1))
    for label, path, cg in parse_rows:
        op = 'lookup' if label == 'reference' else 'parse'
        ins = [instr.get((label, op, lib)) for lib in libs]
        best_peer = min([v for v in ins[1:] if v], default=None)
        pattern = '%.0f' if label == 'reference' else '%.2f'
        cells = [label if label != 'reference' else '121-byte reference document (instructions)']
        cells += [fmt(v, pattern) for v in ins]
        cells.append(fmt(ins[0] / best_peer if ins[0] and best_peer else None))
        cells.append(fmt(ratio(tp, 'warm', label, 'ezxml', ['pugixml'])) if 'pugixml' in peers else '-')
        cells.append(fmt(ratio(tp, 'warm', label, 'ezxml', ['rapidxml'])) if 'rapidxml' in peers else '-')
        cells.append(fmt(ratio(tp, 'warm', label, 'ezxml', peers)))
        cells.append(fmt(ratio(tp, 'glibc', label, 'ezxml', peers)))
        floor = median(tp.get(('warm', label, 'memchr'), []))
        size = 121 if path == 'reference' else os.path.getsize(path)
        cells.append(fmt(size / floor if floor else None, '%.1f'))
        cells.append(fmt(ratio(tp, 'warm', label, 'ezxml', ['memchr']), '%.0f'))
        cells.append(fmt(ratio(tp, 'warm', label, 'pugixml', ['memchr']), '%.0f'))
        w('| ' + ' | '.join(cells) + ' |')
    w('')
    w('Serialization (tree parsed beforehand, written to a string without indentation), '
      'instructions per input byte and time ratio (warm heap):')
    w('')
    hdr = '| shape | ezxml | ' + ' | '.join(peers) + ' | ezxml / best | time / best |'
    w(hdr)
    w('|' + '---|' * (hdr.count('|') - 1))
    for label, path, cg in rows:
        if ('MB' in label and '1 MB' not in label):
            continue
        ins = [instr.get((label, 'serialize', lib)) for lib in libs]
        best_peer = min([v for v in ins[1:] if v], default=None)
        w('| %s | %s | %s | %s |' % (label, ' | '.join(fmt(v) for v in ins),
                                     fmt(ins[0] / best_peer if ins[0] and best_peer else None),
                                     fmt(ratio(ts, 'warm', label, 'ezxml', peers))))
    w('')
    w('Scaling, tiny elements: ns per input byte (median of rounds) and peak resident memory of the '
      'process (input, one copy of it and the tree; the memchr process holds input and copy only):')
    w('')
    hdr = ('| size | ' + ' | '.join('%s ns/B warm' % l for l in libs) + ' | ' +
           ' | '.join('%s ns/B glibc' % l for l in libs) + ' | ' + ' | '.join('%s MiB' % l for l in libs) +
           ' | memchr MiB |')
    w(hdr)
    w('|' + '---|' * (hdr.count('|') - 1))
    for mbsize in (1, 10, 100):
        label = 'one-letter elements, 1-3 byte texts, %d MB' % mbsize
        path = os.path.join(corpus, 'tiny-%dmb.xml' % mbsize)
        size = os.path.getsize(path)
        cells = ['%d MB' % mbsize]
        for mode in ('warm', 'glibc'):
            for lib in libs:
                m = median(tp.get((mode, label, lib), []))
                cells.append(fmt(m / size if m else None))
        for lib in libs + ['memchr']:
            r = tp.get(('rss', 'warm', label, lib))
            cells.append(fmt(max(r) / 1024 if r else None, '%.0f'))
        w('| ' + ' | '.join(cells) + ' |')
    w('')
    w('Language modules, German strings, random ids: instructions (callgrind, user space) and '
      'CPU ns per operation (median of 15 interleaved samples of 2000; ours and the plain PE reader '
      'in the same process):')
    w('')
    w('| operation | PavoRm instructions | plain PE reader | ratio | PavoRm ns | plain ns | ratio |')
    w('|---|---|---|---|---|---|---|')
    pairs = [('load + first lookup + free, 2000 strings', 'first2000', 'plainfirst2000'),
             ('load + first lookup + free, 16 strings', 'first16', 'plainfirst16'),
             ('switch (free, load the other language) + first lookup, 2000 strings', 'switch2000', 'plainswitch2000'),
             ('switch + first lookup, 16 strings', 'switch16', 'plainswitch16'),
             ('steady LoadStringW into a buffer, 2000 strings', 'buffer', 'plain')]
    for label, a, b in pairs:
        ia, ib, ta, tb = minstr.get(a), minstr.get(b), mtime.get(a), mtime.get(b)
        w('| %s | %s | %s | %s | %s | %s | %s |' % (
            label, fmt(ia, '%.0f'), fmt(ib, '%.0f'), fmt(ia / ib if ia and ib else None),
            fmt(ta, '%.1f'), fmt(tb, '%.1f'), fmt(ta / tb if ta and tb else None)))
    w('')
    w('| steady lookup | instructions | ns |')
    w('|---|---|---|')
    for label, k in (('PavoRmCString::LoadStringW, present', 'present'), ('LoadStringW, absent id', 'missing'),
                     ('gettext + UTF-8 to UTF-16', 'gettext'), ('ICU ures_getStringByKey + copy', 'icu')):
        w('| %s | %s | %s |' % (label, fmt(minstr.get(k), '%.0f'), fmt(mtime.get(k), '%.1f')))
    w('')
    w('Registry, one key of N values, each operation on a value drawn at random (the written or '
      'removed value is the key\'s largest), CPU time per operation (wall time in parentheses):')
    w('')
    w('| N | random read | shrinking write | RegDeleteValueW |')
    w('|---|---|---|---|')
    for n in (10, 10000, 100000):
        cells = []
        for name in ('ReadRandomValue', 'ShrinkingWrite', 'DeleteValue'):
            v = reg.get((name, n))
            cells.append('%.2f %s (%.2f)' % (v[0], v[2], v[1]) if v else '-')
        w('| {:,} | {} |'.format(n, ' | '.join(cells)))
    text = '\n'.join(out)
    print(text)
    log('\n' + text)
    LOG_FILE[0].close()


if __name__ == '__main__':
    main()

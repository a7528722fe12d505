#!/usr/bin/env python3
"""Makes the accuracy corpus: sentences of Russian and English prose from Debian's documentation.

    make_corpus.py [--cache DIR] [--out DIR] [--per-case N] [--seed N] [--offline]
    make_corpus.py --sample DIR [--out DIR] [--sample-size N] [--hard OUTPUTS --hard-size M]

The second form copies the first N sentences of each file of a made corpus, from the packages
in SAMPLE_LICENCES only, into DIR with a header naming each package and its licence (the
committed sample of tests/accuracy). With --hard, OUTPUTS is a folder of klavix-accuracy
--outputs files of the same corpus: M more sentences are taken from those some case did not
give back as written, so that the sample holds misses and false switches too.

Each package below is fetched with `apt-get download` into the cache folder (once) and unpacked
there with `dpkg-deb -x`; nothing is installed. Manual pages (roff) and HTML pages become plain
text paragraphs, the paragraphs become sentences, and a sentence is kept only when it is prose
a person would type on one of the two keyboards:

  ru.tsv     Russian sentences, Cyrillic words only
  en.tsv     English sentences, Latin words only
  mixed.tsv  Russian sentences that hold English words (terms, names)

Each line is `package<TAB>sentence`. manifest.txt names every package with its version and the
number of sentences it gave to each file. The same packages, seed and cap give the same files:
files are read in sorted order, sentences deduplicated, then a fixed-seed sample is drawn from
each package in turn (round robin, so that no single package fills a case).

The fortune-cookie packages are never used: they are kept for independent checks.
"""

import argparse
import gzip
import html
import html.parser
import os
import random
import re
import subprocess
import sys
import unicodedata
from pathlib import Path

# (package, language of its text, what to read inside it: path regex)
PACKAGES = [
    ("manpages-ru", "ru", r"^usr/share/man/ru/man[1-8]/[^/]+\.gz$"),
    ("manpages-ru-dev", "ru", r"^usr/share/man/ru/man[1-8]/[^/]+\.gz$"),
    ("manpages", "en", r"^usr/share/man/man[1-8]/[^/]+\.gz$"),
    ("manpages-dev", "en", r"^usr/share/man/man[1-8]/[^/]+\.gz$"),
    ("debian-faq-ru", "ru", r"^usr/share/doc/debian/FAQ/ru/[^/]+\.html$"),
    ("debian-faq", "en", r"^usr/share/doc/debian/FAQ/[^/]+\.en\.html$"),
    ("maint-guide-ru", "ru", r"^usr/share/doc/maint-guide-ru/html/[^/]+\.ru\.html$"),
    ("maint-guide", "en", r"^usr/share/doc/maint-guide/html/[^/]+\.en\.html$"),
    ("developers-reference-ru", "ru", r"^usr/share/developers-reference/ru/[^/]+\.html$"),
    ("developers-reference", "en", r"^usr/share/developers-reference/[^/]+\.html$"),
    ("aptitude-doc-ru", "ru", r"^usr/share/doc/aptitude/html/ru/[^/]+\.html$"),
    ("aptitude-doc-en", "en", r"^usr/share/doc/aptitude/html/en/[^/]+\.html$"),
    ("debian-history", "ru", r"^usr/share/doc/debian-history/docs/[^/]+\.ru\.html$"),
    ("debian-history", "en", r"^usr/share/doc/debian-history/docs/[^/]+\.en\.html$"),
    ("libreoffice-help-ru", "ru", r"^usr/share/libreoffice/help/ru/.+\.html$"),
    ("libreoffice-help-en-us", "en", r"^usr/share/libreoffice/help/en-US/.+\.html$"),
]

# The packages the committed sample may quote: their licences allow redistribution and
# modification, and each is named in the sample's header.
SAMPLE_LICENCES = {
    "aptitude-doc-en": "GPL-2+",
    "aptitude-doc-ru": "GPL-2+",
    "debian-history": "GPL-2+",
    "developers-reference": "GPL-2",
    "developers-reference-ru": "GPL-2",
    "maint-guide": "GPL-2+",
    "maint-guide-ru": "GPL-2+",
}

# Never read: the fortune-cookie collections are the independent check.
FORBIDDEN = re.compile(r"fortune", re.I)

LABELS_PER_PACKAGE = 3

SKIP_HTML_PAGES = re.compile(r"(^|/)(search|genindex|index-[^/]*|ld-idm[^/]*)\.html$")

# ---------------------------------------------------------------------------------------------
# Characters a typist can type on each keyboard (the key table's cells), after normalising.

KEYS_EN = set("`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./"
              "~!@#$%^&*()_+QWERTYUIOP{}|ASDFGHJKL:\"ZXCVBNM<>? ")
KEYS_RU = set("ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю."
              "Ё!\"№;%:?*()_+ЙЦУКЕНГШЩЗХЪ/ФЫВАПРОЛДЖЭЯЧСМИТЬБЮ, ")

NORMALISE = {
    "\u00a0": " ", "\u2009": " ", "\u202f": " ", "\u2002": " ", "\u2003": " ",
    "\u00ab": '"', "\u00bb": '"', "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u2033": '"',
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u2032": "'",
    "\u2014": "-", "\u2013": "-", "\u2012": "-", "\u2010": "-", "\u2011": "-", "\u2212": "-",
    "\u2026": "...",
    "\u00ad": "", "\u200b": "", "\u200c": "", "\u200d": "", "\ufeff": "",
}


def normalise(text):
    text = unicodedata.normalize("NFC", text)
    return "".join(NORMALISE.get(c, c) for c in text)


# ---------------------------------------------------------------------------------------------
# Packages

def run(cmd, cwd=None):
    return subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True).stdout


def fetch(package, cache, offline):
    """The unpacked tree of a package and its version; downloads and unpacks on first use."""
    debs = sorted(cache.glob(f"{package}_*.deb"))
    if not debs:
        if offline:
            sys.exit(f"make_corpus: {package} is not in {cache} and --offline was given")
        print(f"make_corpus: apt-get download {package}", file=sys.stderr)
        try:
            run(["apt-get", "download", package], cwd=cache)
        except subprocess.CalledProcessError as e:
            sys.exit(f"make_corpus: apt-get download {package} failed:\n{e.stderr}")
        debs = sorted(cache.glob(f"{package}_*.deb"))
    deb = debs[-1]
    version = run(["dpkg-deb", "-f", str(deb), "Version"]).strip()
    tree = cache / "x" / f"{package}_{version.replace(':', '%3a')}"
    if not (tree / ".unpacked").exists():
        tree.mkdir(parents=True, exist_ok=True)
        run(["dpkg-deb", "-x", str(deb), str(tree)])
        (tree / ".unpacked").write_text("")
    return tree, version


# ---------------------------------------------------------------------------------------------
# roff (man pages) to paragraphs

CODE = "\x00"  # stands for text that is code; a sentence holding it is dropped

ROFF_SPECIAL = {
    "em": "-", "en": "-", "hy": "-", "mi": "-", "aq": "'", "dq": '"', "lq": '"', "rq": '"',
    "oq": "'", "cq": "'", "Fo": '"', "Fc": '"', "fo": "'", "fc": "'", "bu": "", "co": "(c)",
    "rg": "(R)", "tm": "(TM)", "ti": "~", "ha": "^", "rs": "\\", "dg": "", "sc": "", "lh": "",
    "rh": "", "ga": "`", "aa": "'", "at": "@", "sh": "#", "Do": "$", "ba": "|", "pl": "+",
    "eq": "=", "sl": "/", "ul": "_", "ru": "_", "<=": "<=", ">=": ">=", "->": "->", "<-": "<-",
    "mu": "x", "di": "/", "+-": "+-", "de": "", "ss": "ss",
}
ROFF_STRINGS = {"lq": '"', "rq": '"', "R": "(R)", "Tm": "(TM)", "aq": "'", "dq": '"'}

FONT_MACROS = {"B", "I", "BR", "RB", "IR", "RI", "BI", "IB", "SM", "SB", "R"}


def roff_escapes(s):
    out = []
    i = 0
    while i < len(s):
        c = s[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 >= len(s):
            break
        n = s[i + 1]
        i += 2
        if n == "f":  # font change
            if i < len(s) and s[i] == "(":
                i += 3
            elif i < len(s) and s[i] == "[":
                j = s.find("]", i)
                i = len(s) if j < 0 else j + 1
            else:
                i += 1
        elif n == "(":
            out.append(ROFF_SPECIAL.get(s[i:i + 2], ""))
            i += 2
        elif n == "[":
            j = s.find("]", i)
            name = s[i:j] if j >= 0 else ""
            i = len(s) if j < 0 else j + 1
            if name.startswith("u") and len(name) == 5:
                try:
                    out.append(chr(int(name[1:], 16)))
                except ValueError:
                    pass
            else:
                out.append(ROFF_SPECIAL.get(name, ""))
        elif n == "*":
            if i < len(s) and s[i] == "(":
                out.append(ROFF_STRINGS.get(s[i + 1:i + 3], ""))
                i += 3
            elif i < len(s) and s[i] == "[":
                j = s.find("]", i)
                out.append(ROFF_STRINGS.get(s[i + 1:j], "") if j >= 0 else "")
                i = len(s) if j < 0 else j + 1
            else:
                out.append(ROFF_STRINGS.get(s[i:i + 1], ""))
                i += 1
        elif n in "-":
            out.append("-")
        elif n in "e\\":
            out.append("\\")
        elif n in "&c)%|^:/,":
            pass
        elif n in " ~0":
            out.append(" ")
        elif n == '"':  # comment to the end of the line
            break
        elif n in "sv" and i < len(s):  # size / vertical motion: \s-1, \s0, \s(12, \s'..'
            m = re.match(r"[-+]?(\(\d\d|\[[^\]]*\]|'[^']*'|\d)", s[i:])
            i += m.end() if m else 0
        elif n in "hwoblLDNXZkn" and i < len(s):  # arguments we skip
            if s[i] in "'\"[":
                close = "]" if s[i] == "[" else s[i]
                j = s.find(close, i + 1)
                i = len(s) if j < 0 else j + 1
            elif s[i] == "(":
                i += 3
            else:
                i += 1
        else:
            out.append(n)
    return "".join(out)


def roff_args(line):
    """The arguments of a macro line, quotes removed."""
    args = []
    for m in re.finditer(r'"((?:[^"]|"")*)"|(\S+)', line):
        args.append(m.group(1).replace('""', '"') if m.group(1) is not None else m.group(2))
    return args


def roff_paragraphs(source):
    paragraphs = []
    current = []
    no_fill = False
    tag_line = False  # the next input line is a list item's tag (.TP): a paragraph of its own

    def flush():
        if current:
            paragraphs.append(" ".join(current))
            current.clear()

    def add(text):
        nonlocal tag_line
        current.append(text)
        if tag_line:
            flush()
            tag_line = False

    for raw in source.splitlines():
        line = raw.rstrip()
        if line.startswith(".\\\"") or line.startswith("'\\\"") or line.startswith('\\"'):
            continue
        if line.startswith(".") or line.startswith("'"):
            m = re.match(r"[.']\s*(\S*)\s*(.*)", line)
            name, rest = (m.group(1), m.group(2)) if m else ("", "")
            if name in ("nf", "EX", "Vb", "TS", "EQ", "PS", "Bd"):
                flush()
                no_fill = True
                continue
            if name in ("fi", "EE", "Ve", "TE", "EN", "PE", "Ed"):
                no_fill = False
                flush()
                continue
            if no_fill:
                continue
            if name in FONT_MACROS:
                args = roff_args(rest)
                if name in ("B", "I", "SM", "SB", "R"):
                    text = " ".join(args)
                else:  # alternating fonts: the pieces join without spaces
                    text = "".join(args)
                add(roff_escapes(text))
                continue
            flush()
            tag_line = name in ("TP", "TQ")
            continue
        if no_fill:
            continue
        if not line.strip():
            flush()
            continue
        add(roff_escapes(line))
    flush()
    return paragraphs


# ---------------------------------------------------------------------------------------------
# HTML to paragraphs

BLOCK_TAGS = {"p", "div", "li", "dd", "dt", "h1", "h2", "h3", "h4", "h5", "h6", "br", "tr", "td",
              "th", "table", "ul", "ol", "dl", "blockquote", "section", "article", "header",
              "footer", "nav", "title", "hr", "caption", "body", "html", "head", "form", "option",
              "figure", "figcaption", "address", "center", "main", "aside"}
SKIP_TAGS = {"pre", "script", "style", "head", "table", "nav", "noscript", "select", "textarea",
             "svg", "math", "button", "object"}
CODE_TAGS = {"code", "tt", "kbd", "samp", "var"}


class HtmlText(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.paragraphs = []
        self.current = []
        self.skip = 0
        self.code = 0
        self.stack = []

    def flush(self):
        text = "".join(self.current)
        if text.strip():
            self.paragraphs.append(text)
        self.current = []

    def handle_starttag(self, tag, attrs):
        if tag in ("br", "hr", "img", "meta", "link", "input", "wbr"):
            if tag in ("br", "hr"):
                self.flush()
            return
        kind = None
        if tag in SKIP_TAGS:
            kind = "skip"
            self.skip += 1
        elif tag in CODE_TAGS:
            kind = "code"
            self.code += 1
        elif tag == "span" and "hidden" in dict(attrs) and dict(attrs).get("class"):
            # LibreOffice's help names a key or a module per system or program
            # (<span class="switchinline">): the hidden default without a class stands.
            kind = "skip"
            self.skip += 1
        elif tag == "span":
            cls = dict(attrs).get("class") or ""
            if re.search(r"\b(command|literal|filename|option|userinput|computeroutput|code|"
                         r"replaceable|keycap|pre|prompt|systemitem)\b", cls):
                kind = "code"
                self.code += 1
        if tag in BLOCK_TAGS:
            self.flush()
        self.stack.append((tag, kind))

    def handle_endtag(self, tag):
        # pop to the matching tag (HTML found in the wild is not always balanced)
        for k in range(len(self.stack) - 1, -1, -1):
            if self.stack[k][0] == tag:
                for t, kind in self.stack[k:]:
                    if kind == "skip":
                        self.skip -= 1
                    elif kind == "code":
                        self.code -= 1
                        if not self.skip:
                            self.current.append(CODE)
                del self.stack[k:]
                break
        if tag in BLOCK_TAGS:
            self.flush()

    def handle_data(self, data):
        if self.skip or self.code:
            return
        self.current.append(data)


def html_paragraphs(source):
    p = HtmlText()
    p.feed(source)
    p.close()
    p.flush()
    return p.paragraphs


# ---------------------------------------------------------------------------------------------
# Sentences

CYR = re.compile(r"[\u0400-\u04FF]")
LAT = re.compile(r"[A-Za-z]")
SENTENCE_END = re.compile(r'(?<=[.!?])["\')]?\s+(?=["(]?[A-ZА-ЯЁ0-9])')
RU_LETTER = re.compile(r"^[а-яёА-ЯЁ]+(-[а-яёА-ЯЁ]+)*$")
EN_LETTER = re.compile(r"^[A-Za-z]+('[A-Za-z]+)?(-[A-Za-z]+)*$")
LEAD = "\"'(["
TRAIL = "\"')].,:;!?"
ABBREVIATIONS = re.compile(r"\b(e\.g|i\.e|etc|vs|cf|Mr|Dr|No|т\.[ке]|т\.д|т\.п|и\.т\.д|см|стр|рис|"
                           r"др|пр|гл|т|е|д|п|г|гг|в|вв|ок|св|им)\.$", re.I)


def split_sentences(paragraph):
    text = re.sub(r"\s+", " ", normalise(paragraph)).strip()
    if not text:
        return []
    parts = SENTENCE_END.split(text)
    # glue back splits after an abbreviation ("e.g. The", "т. е. Это")
    out = []
    for part in parts:
        if out and ABBREVIATIONS.search(out[-1]):
            out[-1] += " " + part
        else:
            out.append(part)
    return out


def token_core(tok):
    """The token without leading quotes/brackets and trailing punctuation."""
    start = 0
    while start < len(tok) and tok[start] in LEAD:
        start += 1
    end = len(tok)
    while end > start and tok[end - 1] in TRAIL:
        end -= 1
    return tok[:start], tok[start:end], tok[end:]


def classify(sentence):
    """'ru', 'en', 'mixed' or None when the sentence is not typist's prose."""
    if CODE in sentence or len(sentence) > 240:
        return None
    if not re.search(r'[.!?]["\')]?$', sentence):
        return None
    if re.search(r"\.\.|\?\?|!!|,,|--|\(\)|\s[-:;,.]\s*$", sentence):
        return None
    tokens = sentence.split(" ")
    if len(tokens) < 4 or len(tokens) > 30:
        return None
    first = token_core(tokens[0])[1]
    if not first or not first[0].isupper():
        return None
    ru_words = en_words = 0
    letters = 0
    neutral = []  # tokens of neither script: typed in whatever layout the window has
    for tok in tokens:
        lead, core, trail = token_core(tok)
        if not core:
            if tok in ("-",):
                neutral.append(tok)
                continue
            return None
        if len(lead) > 1 or len(trail) > 2:
            return None
        if core.isdigit():
            if len(core) > 4:
                return None
            neutral.append(tok)
            continue
        if RU_LETTER.match(core):
            ru_words += 1
            allowed = KEYS_RU
        elif EN_LETTER.match(core):
            en_words += 1
            allowed = KEYS_EN
            # Code-like words: inner capitals (camelCase), or a one-letter word other than a/I/A.
            if re.search(r"[a-z][A-Z]", core):
                return None
            if len(core) == 1 and core not in ("a", "A", "I"):
                return None
        else:
            return None
        if any(c not in allowed for c in tok):
            return None
        letters += len(core)
    if letters < 12:
        return None
    # A token of digits or a dash must be typeable in the layout it is typed in; in a mixed
    # sentence that is either.
    allowed = (KEYS_EN if not ru_words else KEYS_RU if not en_words else KEYS_EN & KEYS_RU)
    if any(c not in allowed for tok in neutral for c in tok):
        return None
    if ru_words and en_words:
        if ru_words < 3 or en_words * 2 > ru_words:
            return None  # a Russian sentence with English terms, not the other way round
        return "mixed"
    if ru_words >= 4:
        return "ru"
    if en_words >= 4:
        return "en"
    return None


# ---------------------------------------------------------------------------------------------


def paragraphs_of(path):
    data = path.read_bytes()
    if path.suffix == ".gz":
        data = gzip.decompress(data)
        try:
            return roff_paragraphs(data.decode("utf-8"))
        except UnicodeDecodeError:
            return []
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return []
    return html_paragraphs(text)


def collect(tree, pattern):
    rx = re.compile(pattern)
    files = []
    for root, dirs, names in os.walk(tree):
        dirs.sort()
        for name in sorted(names):
            rel = os.path.relpath(os.path.join(root, name), tree)
            if rx.search(rel) and not SKIP_HTML_PAGES.search(rel):
                files.append(Path(root) / name)
    return sorted(files)


CASES_OF = {"ru": ("ru_on_en", "ru_on_ru"), "en": ("en_on_ru", "en_on_en"), "mixed": ("mixed",)}


def make_sample(corpus, sample, size, hard=None, hard_size=0):
    versions = {}
    for line in (corpus / "manifest.txt").read_text(encoding="utf-8").splitlines():
        if line.startswith("package "):
            _, package, version = line.split(" ", 2)
            versions[package] = version
    sample.mkdir(parents=True, exist_ok=True)
    for kind in ("ru", "en", "mixed"):
        lines = (corpus / f"{kind}.tsv").read_text(encoding="utf-8").splitlines()
        wrong = set()
        if hard:
            for case in CASES_OF[kind]:
                for out in sorted(Path(hard).glob(f"{case}.*.out")):
                    shown = out.read_text(encoding="utf-8").splitlines()
                    wrong |= {i for i, line in enumerate(lines)
                              if i < len(shown) and shown[i] != line.split("\t", 1)[-1]}
        plain = [i for i, line in enumerate(lines) if line.split("\t", 1)[0] in SAMPLE_LICENCES]
        picked = set(plain[:size]) | set([i for i in plain if i in wrong][:hard_size])
        chosen = [lines[i] for i in sorted(picked)]
        used = sorted({line.split("\t", 1)[0] for line in chosen})
        head = [f"# {len(chosen)} sentences of the Klavix accuracy corpus ({kind}.tsv), made by",
                "# tools/make_corpus.py from these Debian 12 packages (each line names its own):"]
        for package in used:
            head.append(f"#   {package} {versions.get(package, '?')}, licence {SAMPLE_LICENCES[package]}"
                        f" (see /usr/share/doc/{package}/copyright in the package)")
        with open(sample / f"{kind}.tsv", "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(head + chosen) + "\n")
        print(f"{sample / (kind + '.tsv')}: {len(chosen)} sentences")


def main():
    here = Path(__file__).resolve().parent.parent
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--cache", default=str(here / "build" / "corpus-cache"))
    ap.add_argument("--out", default=str(here / "build" / "corpus"))
    ap.add_argument("--per-case", type=int, default=2000, help="sentences kept per file")
    ap.add_argument("--seed", type=int, default=16)
    ap.add_argument("--offline", action="store_true", help="use only packages already in the cache")
    ap.add_argument("--sample", help="write the committed sample from the corpus in --out here")
    ap.add_argument("--sample-size", type=int, default=60)
    ap.add_argument("--hard", help="klavix-accuracy --outputs folder: add sentences it got wrong")
    ap.add_argument("--hard-size", type=int, default=20)
    args = ap.parse_args()
    if args.sample:
        make_sample(Path(args.out), Path(args.sample), args.sample_size, args.hard, args.hard_size)
        return

    cache = Path(args.cache)
    out = Path(args.out)
    cache.mkdir(parents=True, exist_ok=True)
    out.mkdir(parents=True, exist_ok=True)

    # per case: package -> sentences (deduplicated, in the order found)
    found = {"ru": {}, "en": {}, "mixed": {}}
    seen = set()
    # Reference pages repeat a label before many sentences ("Description: ..."); a few of each
    # label per package are prose enough, more would make one word a large part of a case.
    labels = {}
    versions = {}
    for package, language, pattern in PACKAGES:
        if FORBIDDEN.search(package):
            sys.exit(f"make_corpus: {package} is kept for independent checks")
        tree, version = fetch(package, cache, args.offline)
        versions[package] = version
        for path in collect(tree, pattern):
            for paragraph in paragraphs_of(path):
                for sentence in split_sentences(paragraph):
                    kind = classify(sentence)
                    # A sentence counts for the language its package is written in.
                    if kind is None or (kind == "en") != (language == "en") or sentence in seen:
                        continue
                    seen.add(sentence)
                    first = sentence.split(" ", 1)[0]
                    if first.endswith(":"):
                        key = (package, first)
                        labels[key] = labels.get(key, 0) + 1
                        if labels[key] > LABELS_PER_PACKAGE:
                            continue
                    found[kind].setdefault(package, []).append(sentence)

    rng = random.Random(args.seed)
    manifest = ["# Klavix accuracy corpus: Debian packages (apt-get download, dpkg-deb -x)",
                f"# seed {args.seed}, at most {args.per_case} sentences per file", ""]
    for package in sorted(versions):
        manifest.append(f"package {package} {versions[package]}")
    manifest.append("")
    for kind in ("ru", "en", "mixed"):
        pools = {}
        for package in sorted(found[kind]):
            pool = list(found[kind][package])
            rng.shuffle(pool)
            pools[package] = pool
        chosen = []
        while len(chosen) < args.per_case and any(pools.values()):
            for package in sorted(pools):
                if pools[package] and len(chosen) < args.per_case:
                    chosen.append((package, pools[package].pop()))
        with open(out / f"{kind}.tsv", "w", encoding="utf-8", newline="\n") as f:
            for package, sentence in chosen:
                f.write(f"{package}\t{sentence}\n")
        counts = {}
        for package, _ in chosen:
            counts[package] = counts.get(package, 0) + 1
        total = sum(len(v) for v in found[kind].values())
        manifest.append(f"{kind}.tsv {len(chosen)} sentences (of {total} found)")
        for package in sorted(counts):
            manifest.append(f"  {package} {counts[package]} of {len(found[kind][package])}")
    (out / "manifest.txt").write_text("\n".join(manifest) + "\n", encoding="utf-8")
    print("\n".join(manifest))


if __name__ == "__main__":
    main()

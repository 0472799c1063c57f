#!/usr/bin/env python3
"""The linker script of the programs without the C runtime.

    nocrt-ldscript.py OUT COMPILER [FLAG...]

Takes the linker's own default script for the target (from COMPILER -nostdlib
-Wl,--verbose) and moves the contents of the .CRT output section, the static
initialiser tables, into the end of .data.  The tables are a few pointers; as a
section of their own they cost a whole file-alignment block.  Their input
sections keep their order (sorted by name) and stay kept when unused sections
are dropped.  The import tables (.idata) follow them into .data for the same
reason: the loader finds them through the image's data directories, not by a
section name, and the import address table is written at load time anyway,
so .data's protection (read-write) is theirs already.
"""
import re
import subprocess
import sys


def transform(script):
    crt = re.search(r'^  \.CRT BLOCK\(__section_alignment__\) :\n  \{\n(.*?)^  \}\n', script,
                    re.M | re.S)
    if not crt:
        raise ValueError('no .CRT output section in the default script')
    body = crt.group(1)
    script = script[:crt.start()] + script[crt.end():]
    idata = re.search(r'^  \.idata BLOCK\(__section_alignment__\) :\n  \{\n(.*?)^  \}\n', script,
                      re.M | re.S)
    if idata:
        # ld takes the import directory from the section named .idata, or,
        # failing that, from symbols named after the input sections: the
        # directory from .idata$2 to .idata$4, the address table from
        # .idata$5 to .idata$6.
        imports = idata.group(1)
        for part in '2456':
            imports, found = re.subn(r'^(\s*)(\S.*\(\.idata\$%s\).*)$' % part,
                                     r'\1".idata$%s" = ABSOLUTE(. - __image_base__);\n\1\2' % part,
                                     imports, count=1, flags=re.M)
            if not found:
                raise ValueError('no .idata$%s input sections in .idata of the default script'
                                 % part)
        body += imports
        script = script[:idata.start()] + script[idata.end():]
    anchor = re.search(r'^(\s*)\*\(SORT\(\.data\$\*\)\)\n', script, re.M)
    if not anchor or script.find('.data BLOCK') > anchor.start():
        raise ValueError('no .data$* input sections in .data of the default script')
    return script[:anchor.end()] + body + script[anchor.end():]


def default_script(compiler):
    out = subprocess.run(compiler + ['-nostdlib', '-Wl,--verbose', '-o', '/dev/null'],
                         capture_output=True, text=True).stdout
    m = re.search(r'^=+\n(.*?)^=+\n', out, re.M | re.S)
    if not m:
        raise ValueError('%s printed no default linker script' % compiler[0])
    return m.group(1)


def main():
    out, compiler = sys.argv[1], sys.argv[2:]
    text = transform(default_script(compiler))
    try:
        with open(out, encoding='utf-8') as f:
            if f.read() == text:
                return 0
    except OSError:
        pass
    with open(out, 'w', encoding='utf-8') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())

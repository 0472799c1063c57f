#!/usr/bin/env python3
"""The no-CRT linker script: the .CRT contents land at the end of .data, in
their order, the .CRT output section is gone, and a default script without
either section is refused rather than passed on unchanged; the import tables
follow them, with the symbols that locate them."""
import importlib.util
import sys

spec = importlib.util.spec_from_file_location('ldscript', sys.argv[1])
ldscript = importlib.util.module_from_spec(spec)
spec.loader.exec_module(ldscript)

DEFAULT = """SECTIONS
{
  .data BLOCK(__section_alignment__) :
  {
    __data_start__ = . ;
    *(.data)
    *(SORT(.data$*))
    KEEP(*(.jcr))
    __data_end__ = . ;
  }
  .CRT BLOCK(__section_alignment__) :
  {
    ___crt_xc_start__ = . ;
    KEEP (*(SORT(.CRT$XC*)))  /* C initialization */
    ___crt_xi_start__ = . ;
    KEEP (*(SORT(.CRT$XI*)))  /* C++ initialization */
  }
  .tls BLOCK(__section_alignment__) :
  {
  }
}
"""

failures = []


def check(what, cond):
    if not cond:
        failures.append(what)


out = ldscript.transform(DEFAULT)
check('no .CRT output section', '.CRT BLOCK' not in out)
data = out[out.index('.data BLOCK'):out.index('.tls BLOCK')]
check('tables inside .data', 'KEEP (*(SORT(.CRT$XC*)))' in data and 'KEEP (*(SORT(.CRT$XI*)))' in data)
check('after the .data$ sections, in their order',
      data.index('SORT(.data$*)') < data.index('.CRT$XC') < data.index('.CRT$XI') < data.index('.jcr'))
check('the rest untouched', out.replace(data, '') == DEFAULT[:DEFAULT.index('.data BLOCK')]
      + DEFAULT[DEFAULT.index('.tls BLOCK'):])

for broken in (DEFAULT.replace('.CRT BLOCK', '.CRX BLOCK'), DEFAULT.replace('*(SORT(.data$*))', '')):
    try:
        ldscript.transform(broken)
        failures.append('a script without .CRT or .data$ accepted')
    except ValueError:
        pass

# The import tables follow into .data, with the symbols from which ld fills in
# the import directory and the address table once no section is named .idata.
IDATA = DEFAULT.replace("""  .tls BLOCK""", """  .idata BLOCK(__section_alignment__) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }
  .tls BLOCK""")
out = ldscript.transform(IDATA)
data = out[out.index('.data BLOCK'):out.index('.tls BLOCK')]
check('no .idata output section', '.idata BLOCK' not in out)
order = [data.find(x) for x in ('.CRT$XI', '".idata$2" = ABSOLUTE(. - __image_base__);',
                                '(.idata$2)', '(.idata$3)', '".idata$4"', '(.idata$4)',
                                '".idata$5"', '(.idata$5)', '".idata$6"', '(.idata$6)',
                                '(.idata$7)', '.jcr')]
check('import tables after the initialiser tables, in their order, with their symbols',
      -1 not in order and order == sorted(order))
try:
    ldscript.transform(IDATA.replace('    KEEP (SORT(*)(.idata$5))\n', ''))
    failures.append('an .idata section without .idata$5 accepted')
except ValueError:
    pass

for what in failures:
    print('FAILED:', what)
sys.exit(1 if failures else 0)

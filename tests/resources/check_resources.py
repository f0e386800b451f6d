#!/usr/bin/env python3
"""Reads the resources of a built RIdorez.exe, as Windows reads them, and
checks what Windows users expect of it: the manifest (themed common controls,
DPI awareness, no elevation, UTF-8 code page, the supported systems), the
version details with the build's version, and the icon in every size the
shell asks for.

Usage: check_resources.py [--console] EXE VERSION   (VERSION: the project's, e.g. 1.1.0)
With --console, the console program: no windows, so neither the common
controls, DPI awareness nor an icon are asked of it.
Prints one line per finding and exits 1 if there is any.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICON_ID = 8001
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
SUPPORTED_OS = {
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}': 'Windows 7',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}': 'Windows 8',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}': 'Windows 8.1',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}': 'Windows 10 and 11',
}


def read_resources(image):
    """{(type, id): data} of every resource of a PE image (first language)."""
    pe = struct.unpack_from('<I', image, 0x3c)[0]
    if image[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE file')
    sections, optional_size = struct.unpack_from('<H', image, pe + 6)[0], struct.unpack_from('<H', image, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', image, optional)[0]
    directories = optional + (112 if magic == 0x20b else 96)
    rsrc_rva, rsrc_size = struct.unpack_from('<II', image, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        vsize, vaddr, raw_size, raw_ptr = struct.unpack_from('<IIII', image, table + i * 40 + 8)
        spans.append((vaddr, max(vsize, raw_size), raw_ptr))

    def offset(rva):
        for vaddr, size, raw_ptr in spans:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw_ptr
        raise ValueError('address 0x%x in no section' % rva)

    if rsrc_size == 0:
        return {}
    base = offset(rsrc_rva)

    def entries(at):
        named, ids = struct.unpack_from('<HH', image, base + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', image, base + at + 16 + i * 8)
            yield name, target

    found = {}
    for rtype, type_dir in entries(0):
        for rid, name_dir in entries(type_dir & 0x7fffffff):
            _, leaf = next(entries(name_dir & 0x7fffffff))
            data_rva, size = struct.unpack_from('<II', image, base + leaf)
            found[(rtype, rid)] = image[offset(data_rva):offset(data_rva) + size]
    return found


def version_strings(data):
    """The fixed file version (four numbers) and the name/value strings of a
    version resource."""
    strings = {}
    fixed = None

    def node(at, end):
        nonlocal fixed
        length, value_length, kind = struct.unpack_from('<HHH', data, at)
        key_end = at + 6
        while data[key_end:key_end + 2] != b'\0\0':
            key_end += 2
        key = data[at + 6:key_end].decode('utf-16-le')
        value = (key_end + 2 + 3) & ~3
        if key == 'VS_VERSION_INFO' and value_length >= 52:
            signature, _, ms, ls = struct.unpack_from('<IIII', data, value)
            if signature == 0xfeef04bd:
                fixed = (ms >> 16, ms & 0xffff, ls >> 16, ls & 0xffff)
        elif kind == 1 and value_length > 0:
            text = data[value:value + 2 * value_length].decode('utf-16-le')
            strings[key] = text.rstrip('\0')
        child = (value + (value_length * (2 if kind == 1 else 1)) + 3) & ~3
        node_end = min(at + length, end)
        while child + 6 <= node_end:
            child_length = struct.unpack_from('<H', data, child)[0]
            if child_length == 0:
                break
            node(child, node_end)
            child = (child + child_length + 3) & ~3

    node(0, len(data))
    return fixed, strings


def local(tag):
    return tag.rsplit('}', 1)[-1]


def check_manifest(text, problems, windows):
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        problems.append('manifest: not well-formed XML: %s' % e)
        return
    elements = list(root.iter())

    def having(name):
        return [e for e in elements if local(e.tag) == name]

    if windows:
        check_window_settings(having, problems)
    levels = [e.get('level') for e in having('requestedExecutionLevel')]
    if levels != ['asInvoker']:
        problems.append('manifest: execution level %s, expected asInvoker' % (levels or 'missing'))
    pages = [e.text.strip() for e in having('activeCodePage') if e.text]
    if pages != ['UTF-8']:
        problems.append('manifest: activeCodePage %s, expected UTF-8' % (pages or 'missing'))
    systems = {e.get('Id', '').lower() for e in having('supportedOS')}
    for guid, name in SUPPORTED_OS.items():
        if guid not in systems:
            problems.append('manifest: %s is not among the supported systems' % name)


def check_window_settings(having, problems):
    """What a program with windows needs: themed controls, DPI awareness."""
    controls = [e for e in having('assemblyIdentity')
                if e.get('name') == 'Microsoft.Windows.Common-Controls' and e.get('version', '').startswith('6.')
                and e.get('publicKeyToken') == '6595b64144ccf1df']
    if not controls:
        problems.append('manifest: no dependency on the Common Controls 6')
    awareness = [e.text.strip() for e in having('dpiAwareness') if e.text]
    if not awareness or awareness[0].split(',')[0].strip().lower() != 'permonitorv2':
        problems.append('manifest: dpiAwareness %s, expected PerMonitorV2 first' % (awareness or 'missing'))
    aware = [e.text.strip().lower() for e in having('dpiAware') if e.text]
    if aware != ['true']:
        problems.append('manifest: dpiAware %s, expected true for older systems' % (aware or 'missing'))


def check_version(data, version, file_name, problems):
    fixed, strings = version_strings(data)
    numbers = tuple(int(n) for n in version.split('.')) + (0,) * (4 - len(version.split('.')))
    if fixed != numbers:
        problems.append('version: fixed file version %s, expected %s' % (fixed, numbers))
    for key, expected in (('FileVersion', version), ('ProductVersion', version), ('ProductName', 'RIdorez'),
                          ('OriginalFilename', file_name)):
        if strings.get(key) != expected:
            problems.append('version: %s is %r, expected %r' % (key, strings.get(key), expected))
    if not strings.get('FileDescription'):
        problems.append('version: no FileDescription')
    for key in ('CompanyName', 'LegalCopyright', 'LegalTrademarks'):
        if key in strings:
            problems.append('version: %s %r names someone else' % (key, strings[key]))


def check_icon(resources, problems):
    group = resources.get((RT_GROUP_ICON, ICON_ID))
    if group is None:
        problems.append('icon: no group icon %d' % ICON_ID)
        return
    count = struct.unpack_from('<H', group, 4)[0]
    sizes = []
    for i in range(count):
        width, height, _, _, _, _, _, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + i * 14)
        if (RT_ICON, icon_id) not in resources:
            problems.append('icon: image %d of the group is missing' % icon_id)
        sizes.append(width or 256)
    if sorted(sizes) != ICON_SIZES:
        problems.append('icon: sizes %s, expected %s' % (sorted(sizes), ICON_SIZES))


def main():
    args = sys.argv[1:]
    windows = True
    if args and args[0] == '--console':
        windows = False
        args = args[1:]
    if len(args) != 2:
        print(__doc__.strip().split('\n\n')[1])
        return 2
    exe, version = args
    with open(exe, 'rb') as f:
        resources = read_resources(f.read())
    problems = []
    manifest = resources.get((RT_MANIFEST, 1))
    if manifest is None:
        problems.append('manifest: no RT_MANIFEST resource 1')
    else:
        check_manifest(manifest, problems, windows)
    if (RT_VERSION, 1) not in resources:
        problems.append('version: no version resource')
    else:
        check_version(resources[(RT_VERSION, 1)], version, os.path.basename(exe), problems)
    if windows:
        check_icon(resources, problems)
    for p in problems:
        print(p)
    if not problems:
        print('resources of %s: manifest and version %s as expected' % (os.path.basename(exe), version))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())

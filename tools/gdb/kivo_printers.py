# gdb pretty-printers for KivoContainersLib objects.
# SPDX-License-Identifier: MIT
"""Shows the values of the library's objects in gdb.

Load it with `source tools/gdb/kivo_printers.py` (or from ~/.gdbinit). Afterwards `print *p` on a
pointer to any library interface (IStringObject*, ITypedVectorObject<int>*, ICompoundObject*, ...)
or on a concrete object prints its value, and `print owner` on a kivo::sdk::Ptr prints the object it
owns. Records print as maps from key to member value, vectors as arrays, typeless values as their
payload (scalars of kivo/sdk/scalar_types.h decoded).

The printers read the concrete classes' fields through the debug information of the library's
module (build it with -g). They use the fields by name where they know them and fall back on the
first pointer fields otherwise, and print "<...>" rather than fail when a layout is not as
expected.
"""

import re
import struct

import gdb
import gdb.printing

_CONCRETE = re.compile(
    r"^kivo::containers::(StringObject|TypedVectorObject<.*>|TypelessVectorObject|CompoundObject|"
    r"SharedTypelessObject|UniqueTypelessNonTrivialObject|UniqueTypelessTrivialObject<.*>)$")
_INTERFACE = re.compile(r"^kivo::(containers::I\w+(<.*>)?|utility::(IObject|ISharedInterface))$")
_OWNER = re.compile(r"^kivo::sdk::Ptr<.*>$")

# Scalar payload records of the client layer: struct format and byte count.
_SCALARS = {
    "kivo::sdk::bool": ("?", 1),
    "kivo::sdk::int8": ("<b", 1),
    "kivo::sdk::uint8": ("<B", 1),
    "kivo::sdk::int16": ("<h", 2),
    "kivo::sdk::uint16": ("<H", 2),
    "kivo::sdk::int32": ("<i", 4),
    "kivo::sdk::uint32": ("<I", 4),
    "kivo::sdk::int64": ("<q", 8),
    "kivo::sdk::uint64": ("<Q", 8),
    "kivo::sdk::float": ("<f", 4),
    "kivo::sdk::double": ("<d", 8),
}


def _type_name(value):
    kind = value.type.strip_typedefs()
    return kind.tag or kind.name or ""


def _field_names(kind):
    try:
        return [field.name for field in kind.strip_typedefs().fields()]
    except TypeError:
        return []


def _has_field(value, name):
    return name in _field_names(value.type)


def _pointers(value, depth=0):
    """Pointer-typed fields of value, depth first in declaration order (base classes included)."""
    kind = value.type.strip_typedefs()
    if kind.code == gdb.TYPE_CODE_PTR:
        yield value
        return
    if depth > 6 or kind.code not in (gdb.TYPE_CODE_STRUCT, gdb.TYPE_CODE_UNION):
        return
    for field in kind.fields():
        if field.is_base_class:
            yield from _pointers(value.cast(field.type), depth + 1)
        elif field.name and not getattr(field, "artificial", False) and \
                not field.name.startswith("_vptr"):
            try:
                yield from _pointers(value[field.name], depth + 1)
            except gdb.error:
                continue


def _first_pointer(value):
    return next(_pointers(value), None)


def _vtable_class(address):
    """The class whose vtable the object at address points to, from the vtable's symbol.

    gdb's own lookup misses template instances whose symbol spells an argument differently from the
    debug information (UniqueTypelessTrivialObject<8ul> against <8> or <8UL>), so read the symbol
    here.
    """
    try:
        vptr = gdb.Value(address).cast(gdb.lookup_type("unsigned long").pointer()).dereference()
        info = gdb.execute("info symbol 0x%x" % int(vptr), to_string=True)
    except gdb.error:
        return None
    match = re.match(r"vtable for (.+?) \+ \d+ in section", info)
    if not match:
        return None
    name = match.group(1)
    # Compilers spell a size argument in the debug information as 8, 8ul or 8UL.
    for spelling in (name, re.sub(r"<(\d+)[uUlL]*>", r"<\1>", name),
                     re.sub(r"<(\d+)[uUlL]*>", r"<\1ul>", name),
                     re.sub(r"<(\d+)[uUlL]*>", r"<\1UL>", name)):
        try:
            return gdb.lookup_type(spelling)
        except gdb.error:
            continue
    return None


def _concrete(pointer):
    """The object pointer points at, as its dynamic (concrete) class; None for null."""
    if pointer is None or int(pointer) == 0:
        return None
    kind = _vtable_class(int(pointer))
    if kind is not None:
        # A copy read from memory: dereferencing would make gdb look the class up again.
        try:
            memory = gdb.selected_inferior().read_memory(int(pointer), kind.sizeof)
        except gdb.error:
            return None
        return gdb.Value(memory, kind)
    try:
        return pointer.cast(pointer.dynamic_type).dereference()
    except gdb.error:
        return pointer.dereference()


def _text(storage):
    """The bytes of a text field (the library's text storage or a std::string), lazily."""
    names = _field_names(storage.type)
    if "data_" in names and "length_" in names:
        return storage["data_"].lazy_string(length=int(storage["length_"]))
    if "bytes_" in names:  # a record's key: inline up to 15 bytes, else a block after its length
        raw = storage["bytes_"]
        marker = int(raw[15]) & 0xFF
        if marker <= 15:
            return raw[0].address.lazy_string(length=15 - marker)
        size_type = gdb.lookup_type("unsigned long long")
        block = raw[0].address.cast(size_type.pointer().pointer()).dereference()
        return (block + 1).cast(raw[0].address.type).lazy_string(length=int(block.dereference()))
    if "_M_dataplus" in names:
        return storage["_M_dataplus"]["_M_p"].lazy_string(length=int(storage["_M_string_length"]))
    pointer = _first_pointer(storage)
    return pointer.lazy_string() if pointer is not None else "<text>"


def _record_name(record_pointer):
    if int(record_pointer) == 0:
        return None
    try:
        return record_pointer["name"].string()
    except (gdb.error, UnicodeDecodeError):
        return "<unreadable record>"


def _field(value, name):
    return value[name] if _has_field(value, name) else None


class StringPrinter:
    def __init__(self, value):
        self.value = value

    def to_string(self):
        text = _field(self.value, "text")
        return _text(text) if text is not None else "<string object>"

    def display_hint(self):
        return "string"


class VectorPrinter:
    """Numeric vectors and the typeless vector: the elements between the first two pointers."""

    def __init__(self, value):
        self.value = value
        self.begin = self.end = None
        elements = _field(value, "elements")
        if elements is not None:
            pointers = _pointers(elements)
            self.begin, self.end = next(pointers, None), next(pointers, None)

    def _count(self):
        if self.begin is None or self.end is None or int(self.begin) == 0:
            return 0
        return int(self.end - self.begin)

    def to_string(self):
        if self.begin is None:
            return "<vector without elements field>"
        return "%s of length %d" % (_type_name(self.value).split("::")[-1], self._count())

    def children(self):
        typeless = self.begin is not None and \
            self.begin.type.strip_typedefs().target().code == gdb.TYPE_CODE_PTR
        for index in range(self._count()):
            element = (self.begin + index).dereference()
            if typeless:
                element = _concrete(element)
                if element is None:
                    yield "[%d]" % index, "null"
                    continue
                element = _shown(element)
            yield "[%d]" % index, element

    def display_hint(self):
        return "array"


class SharedValuePrinter:
    """A shared typeless object prints as the unique object it holds."""

    def __init__(self, value):
        self.value = value

    def to_string(self):
        unique = _field(self.value, "unique")
        held = _concrete(_first_pointer(unique)) if unique is not None else None
        return _shown(held) if held is not None else "empty"


class ObjectHolderPrinter:
    """A unique non-trivial typeless object prints as its payload object."""

    def __init__(self, value):
        self.value = value

    def to_string(self):
        payload = _field(self.value, "object")
        held = _concrete(payload) if payload is not None else None
        if held is not None:
            return _shown(held)
        type_id = _field(self.value, "typeId")
        name = _record_name(type_id) if type_id is not None else None
        return "empty" if name in (None, "void") else "empty (labelled %s)" % name


class BytesPrinter:
    """A unique trivial typeless object: a decoded scalar, or its label and bytes."""

    def __init__(self, value):
        self.value = value

    def to_string(self):
        type_id = _field(self.value, "typeId")
        data = _field(self.value, "data")
        name = _record_name(type_id) if type_id is not None else None
        if data is None:
            return "<trivial object without data field>"
        raw = bytes(int(data[i]) & 0xFF for i in range(data.type.strip_typedefs().sizeof))
        if name == "void":
            return "empty"
        if name in _SCALARS:
            layout, size = _SCALARS[name]
            return str(struct.unpack(layout, raw[:size])[0]).lower() if layout == "?" else \
                str(struct.unpack(layout, raw[:size])[0])
        return "%s {%s}" % (name, " ".join("%02x" % byte for byte in raw))


class RecordPrinter:
    """A compound object: its members in key order, walked through the ordered map's tree."""

    def __init__(self, value):
        self.value = value
        self.members = _field(value, "members")

    def _entries(self):
        if self.members is None:
            return
        try:
            tree = self.members["_M_t"]["_M_impl"]
            header = tree["_M_header"]
            count = int(tree["_M_node_count"])
            map_type = self.members.type.strip_typedefs()
            key_type = map_type.template_argument(0)
            mapped_type = map_type.template_argument(1)
        except (gdb.error, RuntimeError):
            return
        base_size = header.type.strip_typedefs().sizeof
        mapped_offset = -(-key_type.sizeof // mapped_type.alignof) * mapped_type.alignof
        node = header["_M_left"]
        for _ in range(count):
            storage = int(node) + base_size
            key = gdb.Value(storage).cast(key_type.pointer()).dereference()
            mapped = gdb.Value(storage + mapped_offset).cast(mapped_type.pointer()).dereference()
            yield key, mapped
            node = self._successor(node)

    @staticmethod
    def _successor(node):
        if int(node["_M_right"]) != 0:
            node = node["_M_right"]
            while int(node["_M_left"]) != 0:
                node = node["_M_left"]
            return node
        parent = node["_M_parent"]
        while int(node) == int(parent["_M_right"]):
            node = parent
            parent = parent["_M_parent"]
        return parent if int(node["_M_right"]) != int(parent) else node

    def to_string(self):
        if self.members is None:
            return "<record without members field>"
        try:
            count = int(self.members["_M_t"]["_M_impl"]["_M_node_count"])
        except gdb.error:
            return "record"
        return "record with %d member%s" % (count, "" if count == 1 else "s")

    def children(self):
        for index, (key, mapped) in enumerate(self._entries()):
            yield "[%d]" % (2 * index), _text(key)
            member = _concrete(_first_pointer(mapped))
            yield "[%d]" % (2 * index + 1), _shown(member) if member is not None else "null"

    def display_hint(self):
        return "map"


class OwnerPrinter:
    """kivo::sdk::Ptr prints as the object it owns."""

    def __init__(self, value):
        self.value = value

    def to_string(self):
        held = _concrete(_first_pointer(self.value))
        return _shown(held) if held is not None else "empty"


def _concrete_printer(value):
    name = _type_name(value)
    if name == "kivo::containers::StringObject":
        return StringPrinter(value)
    if name.startswith("kivo::containers::TypedVectorObject<") or \
            name == "kivo::containers::TypelessVectorObject":
        return VectorPrinter(value)
    if name == "kivo::containers::CompoundObject":
        return RecordPrinter(value)
    if name == "kivo::containers::SharedTypelessObject":
        return SharedValuePrinter(value)
    if name == "kivo::containers::UniqueTypelessNonTrivialObject":
        return ObjectHolderPrinter(value)
    if name.startswith("kivo::containers::UniqueTypelessTrivialObject<"):
        return BytesPrinter(value)
    return None


def _shown(value):
    """What to hand gdb for a concrete object: the object itself when its printer lists children,
    otherwise the printer's text. Handing gdb a text spares it a second look at the object's class,
    which it cannot name for every template instance (and would warn about)."""
    printer = _concrete_printer(value)
    if printer is None or hasattr(printer, "children"):
        return value
    result = printer.to_string()
    return _shown(result) if isinstance(result, gdb.Value) else result


class KivoPrinters(gdb.printing.PrettyPrinter):
    def __init__(self):
        super().__init__("kivo-containers-lib")

    def __call__(self, value):
        if not self.enabled:
            return None
        name = _type_name(value)
        if _OWNER.match(name):
            return OwnerPrinter(value)
        if _CONCRETE.match(name):
            return _concrete_printer(value)
        if _INTERFACE.match(name) and value.address is not None:
            concrete = _concrete(value.address)
            return _concrete_printer(concrete) if concrete is not None else None
        return None


gdb.printing.register_pretty_printer(None, KivoPrinters(), replace=True)

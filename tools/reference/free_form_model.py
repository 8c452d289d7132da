"""A model of the free-form read request, written from the reading rules alone.

It shares nothing with the program's reader: the grammar is spelt out here rule by
rule over whole records, and the decimal value of a numeric text comes from the
exact rational reading in check_decimal.py. Given the bytes of an input and a list
of requests, it predicts what `quadprobe read N` prints and with which status it
ends.

Points the rules leave open, and the reading taken here (the program's behaviour
as it stood when this model was written):

- A pending conversion error (64) of the first number of a pair, followed by a
  malformed rest of the pair: the rest of the pair belongs to the same search, so
  its 59 (or the end of the input) comes first.
- ".*": a repeat form whose count text is "." — not an integer, so error 64 (the
  "at least one digit" check of a value applies where the value ends, and "*"
  ends it as a repeat mark, with its text a count).
- A repeat count of zero or below (0*5, -2*5): error 64, like a count that is not
  a 32-bit integer.
- The value of a repeat form may not be a repeat form itself (2*3*4): error 59.
- A repeat form whose count is not an integer still hands out its value or nulls
  as the form says; the request ends with error 64 before any item is seen, so
  what it hands out is never visible. When the value is a slash, the slash is met
  and 64 is raised at the end of the list.
- A null repeat form whose count is wrong ("(0*," or "2.5* ") stands for nulls
  that carry the conversion error: no number has been converted, so an open
  pair stays open, and the 64 is raised at the next search or the end of the
  list like any pending error.
- So does a wrong count whose value is a pair with a null first number
  ("0*(,,5,3)", "99999999999*(, ,5"): the null carries the conversion error,
  the pair stays open and its rest is not looked at by this search (as after a
  null first number under a valid count). The 64 comes at the end of the list,
  or at the next search, which takes what follows as the first number of the
  still open pair (its 59 or end of file first, as above).
- The end of the input inside a quoted string, or inside the rest of a pair, is
  the end of file of the search: the end indication for a caller with an end
  exit, error 24 otherwise; a pending 64 is then not raised.
- Two quote marks "in a row" are two marks side by side in one record; a mark at
  the end of a record closes the string whatever the next record begins with.
- In the rest of a pair the decimal point may be followed by no digits ("2."),
  and a leading part of INFINITY or NAN has at least one letter; the letters run
  as far as letters go.
- ")" where a value starts is error 59, with or without an open pair.
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from check_decimal import expected as decimal_reading  # noqa: E402

BLANKS = b" \t\r"
VALUE_ENDS = b" \t,/)"  # and the record end; "*" ends a value as its repeat mark
WORD_ENDS = b" \t,/)"  # the rest of an Inf/NaN word: CR and "*" belong to it
LOGICAL_ENDS = b" \t\r,/)"  # a logical constant reaches to the next blank
LOGICAL_LETTERS = b"TtFf"
EXPONENT_LETTERS = b"EeDdQq"
WORD_LETTERS = b"IiNn"
SIGNS = b"+-"
DIGITS = b"0123456789"
QUOTES = b"'\""
MAX_STRING = 2049
INT32_MAX = 2**31 - 1
REPEAT_COUNT = re.compile(rb"[+-]?[0-9]+")

MINUS_ONE = "BFFF0000000000000000000000000000"
PLUS_ZERO = "00000000000000000000000000000000"

# The comma rule's memory: the nearest earlier non-blank character of the request.
NOTHING, COMMA, OTHER = "nothing", "comma", "other"


class Fatal(Exception):
    def __init__(self, status):
        super().__init__(status)
        self.status = status


class EndOfFile(Exception):
    pass


def records_of(data):
    """The records of an input: lines without their line feed and without one
    carriage return directly before it; a last line without a line feed counts."""
    lines = data.split(b"\n")
    last = lines.pop()
    records = [line[:-1] if line.endswith(b"\r") else line for line in lines]
    if last:
        records.append(last)
    return records


class Unconvertible:
    """A value that gives the conversion error when an item would receive it."""


UNCONVERTIBLE = Unconvertible()


def convert(text):
    result = decimal_reading(text.decode("latin-1"))
    return UNCONVERTIBLE if result.startswith("error") else result


class Request:
    def __init__(self, records, first):
        self.records = records
        self.index = first  # the current record
        self.pos = 0
        self.last = NOTHING
        self.pair_open = False
        self.slash_met = False
        self.pending = False
        self.repeat_count = 0
        self.repeated = None  # None: the repeat form hands out nulls

    # -- records and characters ------------------------------------------------

    @property
    def record(self):
        return self.records[self.index]

    def at(self, offset=0):
        """The byte at pos + offset as a one-byte string, b"" at the record end."""
        p = self.pos + offset
        return self.record[p : p + 1]

    def next_record(self):
        if self.index + 1 >= len(self.records):
            raise EndOfFile()
        self.index += 1
        self.pos = 0

    def skip_blanks(self):
        """Skips blanks and record ends; leaves pos at a non-blank character."""
        while True:
            while self.at() and self.at() in BLANKS:
                self.pos += 1
            if self.at():
                return
            self.next_record()

    # -- the search for a value ------------------------------------------------

    def search(self, after_repeat_mark=False):
        """("value", pattern or UNCONVERTIBLE), ("null",) or ("slash",)."""
        while True:
            self.skip_blanks()
            c = self.at()
            if c == b"/":
                self.pos += 1
                self.last = OTHER
                self.slash_met = True
                return ("slash",)
            if c == b",":
                null = self.last in (NOTHING, COMMA)
                self.pos += 1
                self.last = COMMA
                if null:
                    return ("null",)
                continue
            if c == b"(":
                if self.pair_open:
                    raise Fatal(59)
                self.pair_open = True
                self.pos += 1
                self.last = OTHER
                continue
            if c == b")":
                raise Fatal(59)
            if c in QUOTES:
                value = self.quoted_string(c)
            elif c in LOGICAL_LETTERS or (c == b"." and self.at(1) and self.at(1) in LOGICAL_LETTERS):
                value = self.logical_constant()
            else:
                result = self.numeric_value(after_repeat_mark)
                if result[0] != "value":
                    return result
                value = result[1]
            if self.pair_open:
                self.rest_of_pair()
            return ("value", value)

    def quoted_string(self, mark):
        self.pos += 1
        length = 0
        while True:
            if not self.at():
                self.next_record()
                continue
            c = self.at()
            self.pos += 1
            if c == mark:
                if self.at() == mark:
                    self.pos += 1
                else:
                    self.last = OTHER
                    return UNCONVERTIBLE
            length += 1
            if length > MAX_STRING:
                raise Fatal(59)

    def logical_constant(self):
        letter = self.at(1) if self.at() == b"." else self.at()
        while self.at() and self.at() not in LOGICAL_ENDS:
            self.pos += 1
        self.last = OTHER
        return PLUS_ZERO if letter in b"Ff" else MINUS_ONE

    def numeric_value(self, after_repeat_mark):
        record = self.record
        start = self.pos
        p = start
        any_digit = False
        digit_since_sign = False  # a digit since the start or the last sign
        sign_waits = False  # a sign has no digit after it yet
        point = False
        exponent = False
        while p < len(record):
            c = record[p : p + 1]
            text_so_far = record[start:p]
            if c in DIGITS:
                any_digit = digit_since_sign = True
                sign_waits = False
            elif c in SIGNS:
                if sign_waits:
                    raise Fatal(59)
                sign_waits = True
                digit_since_sign = False
            elif c == b".":
                if point:
                    raise Fatal(59)
                point = True
            elif c in EXPONENT_LETTERS:
                if exponent or not digit_since_sign:
                    raise Fatal(59)
                exponent = True
            elif c in WORD_LETTERS:
                if not (text_so_far == b"" or (len(text_so_far) == 1 and text_so_far in SIGNS)):
                    raise Fatal(59)
                while p < len(record) and record[p : p + 1] not in WORD_ENDS:
                    p += 1
                self.pos = p
                self.last = OTHER
                return ("value", convert(record[start:p]))
            elif c in VALUE_ENDS:
                break
            elif c == b"*":
                if p == start or sign_waits:
                    raise Fatal(59)
                if after_repeat_mark:
                    raise Fatal(59)
                self.pos = p + 1
                self.last = OTHER
                return self.repeat_form(text_so_far)
            else:
                raise Fatal(59)
            p += 1
        if sign_waits or not any_digit:
            raise Fatal(59)
        self.pos = p
        self.last = OTHER
        return ("value", convert(record[start:p]))

    def repeat_form(self, count_text):
        count = int(count_text) if REPEAT_COUNT.fullmatch(count_text) else 0
        valid = 1 <= count <= INT32_MAX
        c = self.at()
        if c == b"" or c in b" \t,":
            if c:
                self.pos += 1
                if c == b",":
                    self.last = COMMA
            if not valid:
                self.pending = True
                return ("null",)
            self.repeat_count = count - 1
            self.repeated = None
            return ("null",)
        result = self.search(after_repeat_mark=True)
        if not valid:
            if result[0] != "value":
                # A slash, or the null first number of a pair ("0*(,,"): nothing
                # converted, so an open pair stays open and the error waits.
                self.pending = True
                return result
            return ("value", UNCONVERTIBLE)
        if result[0] == "slash":
            return result
        self.repeat_count = count - 1
        self.repeated = result[1] if result[0] == "value" else None
        return result

    def rest_of_pair(self):
        """A comma, an optional sign, the second number, ")": blanks and record
        ends allowed between these parts."""
        self.skip_blanks()
        if self.at() != b",":
            raise Fatal(59)
        self.pos += 1
        self.skip_blanks()
        if self.at() in SIGNS:
            self.pos += 1
            self.skip_blanks()
        record = self.record
        p = self.pos
        if record[p : p + 1].isalpha():
            q = p
            while q < len(record) and record[q : q + 1].isalpha():
                q += 1
            word = record[p:q].upper()
            if not (b"INFINITY".startswith(word) or b"NAN".startswith(word)):
                raise Fatal(59)
            p = q
        else:
            q = p
            while record[q : q + 1] and record[q : q + 1] in DIGITS:
                q += 1
            if q == p:
                raise Fatal(59)
            if record[q : q + 1] == b".":
                q += 1
                while record[q : q + 1] and record[q : q + 1] in DIGITS:
                    q += 1
            if record[q : q + 1] and record[q : q + 1] in EXPONENT_LETTERS:
                q += 1
                r = q
                while record[q : q + 1] and record[q : q + 1] in DIGITS:
                    q += 1
                if q == r:
                    raise Fatal(59)
            p = q
        self.pos = p
        self.skip_blanks()
        if self.at() != b")":
            raise Fatal(59)
        self.pos += 1
        self.last = OTHER
        self.pair_open = False

    # -- the items ---------------------------------------------------------------

    def serve(self, count):
        """The items' patterns, None for an item left unchanged."""
        items = [None] * count
        for i in range(count):
            if self.slash_met:
                continue
            if self.repeat_count > 0:
                self.repeat_count -= 1
                if self.repeated is UNCONVERTIBLE:
                    self.pending = True
                elif self.repeated is not None:
                    items[i] = self.repeated
                continue
            pending_before = self.pending
            result = self.search()
            if pending_before:
                raise Fatal(64)
            if result[0] == "value":
                if result[1] is UNCONVERTIBLE:
                    self.pending = True
                else:
                    items[i] = result[1]
        if self.pending:
            raise Fatal(64)
        return items


def run(data, requests):
    """Runs read requests over the input as `quadprobe read` does.

    `requests` is a function from the request number (0, 1, ...) to (items,
    end exit). Returns (output lines, status, requests made): requests go on
    until one ends at end of file or with a condition."""
    records = records_of(data)
    lines = []
    first = 0
    k = 0
    while True:
        count, end_exit = requests(k)
        k += 1
        if first >= len(records):
            return lines, 0 if end_exit else 24, k
        request = Request(records, first)
        try:
            items = request.serve(count)
        except EndOfFile:
            return lines, 0 if end_exit else 24, k
        except Fatal as failure:
            return lines, failure.status, k
        lines.append(" ".join("-" if item is None else item for item in items))
        first = request.index + 1

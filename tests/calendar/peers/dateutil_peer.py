#!/usr/bin/python3
"""The differential test's python-dateutil side: occurrences of each VEVENT, as talvor-ical
prints them, from dateutil's rrule set. It reads only what the rule set needs (DTSTART,
RRULE, RDATE, EXDATE, RECURRENCE-ID, UID); other fields are left null."""
import json
import os
import sys
from datetime import datetime, date, timedelta, timezone
from zoneinfo import ZoneInfo, ZoneInfoNotFoundError

from dateutil.rrule import rruleset, rrulestr


def unfold(text):
    lines = []
    for raw in text.replace("\r\n", "\n").split("\n"):
        if raw[:1] in (" ", "\t") and lines:
            lines[-1] += raw[1:]
        else:
            lines.append(raw)
    return lines


def split_line(line):
    head, _, value = line.partition(":")
    name, *params = head.split(";")
    return name.upper(), dict(p.split("=", 1) for p in params if "=" in p), value


def to_time(value, params, shown):
    if len(value) == 8:
        return date(int(value[:4]), int(value[4:6]), int(value[6:8]))
    t = datetime.strptime(value[:15], "%Y%m%dT%H%M%S")
    if value.endswith("Z"):
        return t.replace(tzinfo=timezone.utc)
    if "TZID" not in params:
        return t  # floating: naive, placed in the shown zone at the end
    try:
        zone = ZoneInfo(params["TZID"].strip('"'))
    except (ZoneInfoNotFoundError, ValueError):
        return t
    # Wall-clock times in a gap or overlap: fold=0 is the earlier offset, as RFC 5545 asks.
    return t.replace(tzinfo=zone)


def as_utc(t, shown):
    if not isinstance(t, datetime):
        t = datetime(t.year, t.month, t.day)
    if t.tzinfo is None:
        t = t.replace(tzinfo=shown)
    return t.astimezone(timezone.utc)


def in_set(t, aware):
    """A time as the rule set holds it: aware, or naive on the shown zone's wall clock."""
    if not isinstance(t, datetime):
        t = datetime(t.year, t.month, t.day)
    if aware and t.tzinfo is None:
        raise ValueError("floating time in a zoned set")
    if not aware and t.tzinfo is not None:
        raise ValueError("zoned time in a floating set")
    return t


def events_of(lines):
    current = None
    depth = 0
    for line in lines:
        name, params, value = split_line(line)
        if name == "BEGIN":
            depth += 1
            if value.upper() == "VEVENT":
                current = []
        elif name == "END":
            depth -= 1
            if value.upper() == "VEVENT" and current is not None:
                yield current
                current = None
        elif current is not None:
            current.append((name, params, value))
    if current is not None:
        yield current  # an event left open at the end of the text


def report(path, start, end, cap, shown):
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = unfold(f.read())
    events = []
    overrides = {}
    parsed = list(events_of(lines))
    for props in parsed:
        uid = next((v for n, p, v in props if n == "UID"), "")
        rid = next(((v, p) for n, p, v in props if n == "RECURRENCE-ID"), None)
        if rid:
            overrides.setdefault(uid, []).append(as_utc(to_time(rid[0], rid[1], shown), shown))
    for props in parsed:
        uid = next((v for n, p, v in props if n == "UID"), "")
        dtstart = next(((v, p) for n, p, v in props if n == "DTSTART"), None)
        if dtstart is None or not dtstart[0][:8].isdigit():
            continue
        first = to_time(dtstart[0], dtstart[1], shown)
        all_day = not isinstance(first, datetime)
        rid = next(((v, p) for n, p, v in props if n == "RECURRENCE-ID"), None)
        # dateutil wants one kind of time for the whole set: floating times and dates stay
        # naive and are placed in the shown zone at the end.
        aware = isinstance(first, datetime) and first.tzinfo is not None
        base = in_set(first, aware)
        rules = [v for n, p, v in props if n == "RRULE"]
        rdates = [(v, p) for n, p, v in props if n == "RDATE"]
        exdates = [(v, p) for n, p, v in props if n == "EXDATE"]
        starts = []
        failure = None
        try:
            if any("INTERVAL=0" in r.upper() for r in rules):
                raise ValueError("INTERVAL=0")  # dateutil would loop for ever
            rs = rruleset()
            rs.rdate(base)
            for r in rules:
                rs.rrule(rrulestr(r, dtstart=base))
            for v, p in rdates:
                for item in v.split(","):
                    rs.rdate(in_set(to_time(item.split("/")[0], p, shown), aware))
            for v, p in exdates:
                for item in v.split(","):
                    rs.exdate(in_set(to_time(item, p, shown), aware))
            replaced = set() if rid else set(overrides.get(uid, []))
            for t in rs:
                u = as_utc(t, shown)
                if u >= end:
                    break
                if u >= start and u not in replaced:
                    starts.append(t)
                    if len(starts) >= cap:
                        break
        except (ValueError, TypeError) as e:
            failure = "error: %s" % e
        if all_day:
            occ = [t.strftime("%Y-%m-%d") for t in starts]
        else:
            occ = [as_utc(t, shown).strftime("%Y-%m-%dT%H:%M:%SZ") for t in starts]
        if failure:
            occ = [failure]
        events.append({"uid": uid, "recurrence_id": None, "occurrences": occ})
    return {"error": None, "events": events}


def main():
    args = sys.argv[1:]
    opts = {}
    files = []
    i = 0
    while i < len(args):
        if args[i] in ("--from", "--to", "--cap"):
            opts[args[i]] = args[i + 1]
            i += 2
        else:
            files.append(args[i])
            i += 1
    start = datetime.strptime(opts["--from"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
    end = datetime.strptime(opts["--to"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
    cap = int(opts.get("--cap", "1000"))
    shown = ZoneInfo(os.environ.get("TZ", "UTC").lstrip(":"))
    cases = {os.path.basename(f): report(f, start, end, cap, shown) for f in files}
    json.dump({"cases": cases}, sys.stdout, indent=1, ensure_ascii=False)


main()

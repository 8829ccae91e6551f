#!/usr/bin/python3
"""Runs talvor-ical, the libical peer and the python-dateutil peer over the corpus in one
zone and compares them: every field with libical, the occurrences with dateutil. A
difference passes only when KNOWN names it, with the reason it is not ours to fix."""
import json
import os
import subprocess
import sys

WINDOW = ["--from", "2020-01-01T00:00:00Z", "--to", "2031-01-01T00:00:00Z", "--cap", "1000"]
WINDOW_RFC = ["--from", "1996-01-01T00:00:00Z", "--to", "2031-01-01T00:00:00Z", "--cap", "60"]

# (file, uid or "*", peer, field) -> why the peer and we differ. Nothing else may differ.
KNOWN = {
    # libical's parser gives up on the whole file when a component is left open; we keep
    # what precedes and follows and name each problem.
    ("damaged.ics", "*", "libical", "events"): "libical reads nothing of a file with an open component",
    ("damaged.ics", "*", "libical", "error"): "libical reads nothing of a file with an open component",
    # INTERVAL=0 is refused by us (the rule is dropped with an error, the event kept with its
    # one start); dateutil would loop for ever on it, so its peer reports an error entry.
    ("damaged.ics", "bad-rule", "dateutil", "occurrences"): "INTERVAL=0: refused on both sides, reported differently",
    # The TZID carries a zone name inside a path (an old Mozilla form): we read the zone in
    # it; libical and Python's zoneinfo know no such zone and read the time as floating.
    ("zones.ics", "mozilla-path", "libical", "start"): "path-like TZID read as floating by libical",
    ("zones.ics", "mozilla-path", "libical", "end"): "path-like TZID read as floating by libical",
    ("zones.ics", "mozilla-path", "libical", "occurrences"): "path-like TZID read as floating by libical",
    ("zones.ics", "mozilla-path", "dateutil", "occurrences"): "path-like TZID read as floating by zoneinfo",
    # The dateutil peer does not read VTIMEZONE, so a Windows zone name is floating there;
    # libical, reading the VTIMEZONE, agrees with us in every zone.
    ("zones.ics", "outlook", "dateutil", "occurrences"): "the dateutil peer reads no VTIMEZONE",
    # 02:30 on 31 March 2024 does not exist in Berlin. RFC 5545 (3.3.5): use the offset
    # before the gap, so 03:30 CEST that day, and 02:30 CEST again the next day. libical
    # keeps the shifted 03:30 for every later occurrence. dateutil agrees with us.
    ("daylight-saving.ics", "berlin-gap", "libical", "occurrences"): "libical carries the gap's shift into later days",
    # 02:30 on 27 October 2024 happens twice in Berlin. RFC 5545 (3.3.5): the first
    # occurrence (CEST, 00:30 UTC). libical takes the second. dateutil (fold=0) agrees with us.
    ("daylight-saving.ics", "berlin-overlap", "libical", "occurrences"): "libical takes the second of a repeated time",
    # RFC 5545 (3.8.5.3): "The DTSTART property value always counts as the first
    # occurrence", even when the rule would not give it. libical leaves such a DTSTART out;
    # the dateutil peer adds it as an RDATE, as the RFC reads, and agrees with us.
    ("rules.ics", "byhour-minute", "libical", "occurrences"): "libical drops a DTSTART the rule does not give",
    ("rules.ics", "hourly-byday", "libical", "occurrences"): "libical drops a DTSTART the rule does not give",
    ("rules.ics", "setpos-yearly", "libical", "occurrences"): "libical drops a DTSTART the rule does not give",
    ("rules.ics", "never", "libical", "occurrences"): "libical drops a DTSTART the rule does not give",
    # BYWEEKNO: libical 3.0.16 gives Wednesday 30 December 2020 for BYWEEKNO=1;BYDAY=MO,SU
    # (not a Monday or Sunday) and Monday 29 December 2025 for BYWEEKNO=53 (that Monday is
    # in ISO week 1 of 2026; 2025 has 52 weeks). dateutil agrees with us on both.
    ("rules.ics", "weekno-1", "libical", "occurrences"): "libical BYWEEKNO fault at the year's end",
    ("rules.ics", "weekno-53", "libical", "occurrences"): "libical BYWEEKNO fault at the year's end",
    # The value ends in a blank; RFC 5545 keeps it (TEXT is every character up to the line
    # end), libical trims trailing white space.
    ("texts.ics", "folded", "libical", "description"): "libical trims a TEXT value's trailing blank",
    # An RDATE with a TZID: libical's expansion ignores the RDATE's zone and takes the time
    # as UTC (11:00Z for 11:00 Berlin); dateutil agrees with us (10:00Z).
    ("overrides.ics", "standup", "libical", "occurrences"): "libical ignores an RDATE's TZID",
}


def run(command, files, window, zone):
    env = dict(os.environ, TZ=zone)
    out = subprocess.run(command + window + files, env=env, capture_output=True, text=True,
                         timeout=300, check=True).stdout
    return json.loads(out)["cases"]


def keyed(events):
    out = {}
    seen = {}
    for e in events:
        n = seen.get(e["uid"], 0)
        seen[e["uid"]] = n + 1
        out[(e["uid"], n)] = e
    return out


def compare(ours, theirs, peer, fields, problems):
    for name, case in ours.items():
        other = theirs.get(name)
        if other is None:
            problems.append("%s: %s has no result" % (name, peer))
            continue
        if "error" in fields and (case["error"] is None) != (other["error"] is None):
            if (name, "*", peer, "error") not in KNOWN:
                problems.append("%s: error %r, %s %r" % (name, case["error"], peer, other["error"]))
        a, b = keyed(case["events"]), keyed(other["events"])
        if set(a) != set(b):
            if (name, "*", peer, "events") not in KNOWN:
                problems.append("%s: events %s, %s has %s" % (name, sorted(a), peer, sorted(b)))
        for key in sorted(set(a) & set(b)):
            for field in fields:
                if field == "error":
                    continue
                if a[key].get(field) != b[key].get(field):
                    if (name, key[0], peer, field) in KNOWN:
                        continue
                    problems.append("%s %s %s: ours %s\n    %s %s" % (
                        name, key[0], field, json.dumps(a[key].get(field))[:400], peer,
                        json.dumps(b[key].get(field))[:400]))


def main():
    tool, libical_peer, dateutil_peer, corpus = sys.argv[1:5]
    files = sorted(os.path.join(corpus, f) for f in os.listdir(corpus) if f.endswith(".ics"))
    problems = []
    for zone in ("Europe/Berlin", "America/New_York", "Asia/Tokyo"):
        for subset, window in (([f for f in files if "rfc5545" not in f], WINDOW),
                               ([f for f in files if "rfc5545" in f], WINDOW_RFC)):
            ours = run([tool], subset, window, zone)
            lib = run([libical_peer], subset, window, zone)
            du = run(["/usr/bin/python3", dateutil_peer], subset, window, zone)
            compare(ours, lib, "libical", ["error", "summary", "description", "location", "all_day",
                                           "start", "end", "recurrence_id", "occurrences"], problems)
            compare(ours, du, "dateutil", ["occurrences"], problems)
    for p in dict.fromkeys(problems):
        print(p)
    return 1 if problems else 0


sys.exit(main())

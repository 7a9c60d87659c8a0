#!/usr/bin/env python3
"""Readings of the real-data replays in kmi_host_real_data_test.cpp, worked out from the bar
files alone, without kmi-host or the study: prices are taken as 32-bit floats as the host
hands them over, sums are made in double, and each result is rounded to a 32-bit float as the
output series store it.

    python3 tests/data/real_data_expected.py

The regular session is 09:30 to 16:00 New York time. In October 2013 and February 2019 New
York keeps UTC-4 and UTC-5: 13:30 UTC is 09:30 there on 2013-10-07. A bar of a source counts
for a chart bar once it has ended by the chart bar's end; with 1-minute bars that is the
source bar of the same minute or before.
"""
import csv
import datetime as dt
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def f32(x):
    return struct.unpack("f", struct.pack("f", float(x)))[0]


def bars(name, time_column, shift_hours=0, contract=None):
    """(New York start time, open, high, low, close, volume), oldest first."""
    out = []
    with open(os.path.join(HERE, name), newline="") as f:
        for row in csv.DictReader(f):
            if contract and row["contract"] != contract:
                continue
            start = dt.datetime.strptime(row[time_column], "%Y-%m-%d %H:%M:%S") + dt.timedelta(hours=shift_hours)
            out.append((start, *(f32(row[k]) for k in ("open", "high", "low", "close", "volume"))))
    return sorted(out)


def in_session(start):
    return dt.time(9, 30) <= start.time() < dt.time(16, 0)


def session_bars(series, at):
    """The session bars of `at`'s day that have started by `at`."""
    return [b for b in series if b[0].date() == at.date() and in_session(b[0]) and b[0] <= at]


def percent_since_open(series, at):
    s = session_bars(series, at)
    return (s[-1][4] / s[0][1] - 1.0) * 100.0


def vwap(series, at):
    s = session_bars(series, at)
    return sum(((b[3] + b[2]) + b[4]) / 3.0 * b[5] for b in s) / sum(b[5] for b in s)


def vix_change_percent(series, at):
    """Against the last session close of the session before `at`'s day."""
    latest = [b for b in series if b[0] <= at][-1]
    prior = [b for b in series if in_session(b[0]) and b[0].date() < at.date()][-1]
    return (latest[4] / prior[4] - 1.0) * 100.0


def show(label, value):
    print(f"{label}: {f32(value):.9g}")


es = bars("ES_2013-10-07_UTC.csv", "datetime_utc", shift_hours=-4, contract="ES201312")
spy13 = bars("SPY_2013-10-07_ET.csv", "datetime_et")
print("2013-10-07: chart ES (UTC file, front contract ES201312), NQ slot SPY (ET file)")
for at in (dt.datetime(2013, 10, 7, 14, 0), dt.datetime(2013, 10, 7, 15, 59)):
    es_p, nq_p = percent_since_open(es, at), percent_since_open(spy13, at)
    show(f"  {at} ES % Since Open", es_p)
    show(f"  {at} NQ % Since Open", nq_p)
    show(f"  {at} ES minus NQ %", es_p - nq_p)
    show(f"  {at} VWAP (RTH)", vwap(es, at))

spy = bars("SPY_2019-02-14_15_ET_descending.csv", "datetime")
qqq = bars("QQQ_2019-02-14_15_ET_descending.csv", "datetime")
vix = bars("VIX_2019-02-14_15_ET_descending.csv", "datetime")
print("2019-02-14/15: chart SPY (also the ES slot), NQ slot QQQ, VIX slot VIX, all newest first")
for at in (dt.datetime(2019, 2, 15, 10, 0), dt.datetime(2019, 2, 15, 15, 59)):
    show(f"  {at} ES % Since Open", percent_since_open(spy, at))
    show(f"  {at} NQ % Since Open", percent_since_open(qqq, at))
    show(f"  {at} VIX Change %", vix_change_percent(vix, at))
for day_end in (dt.datetime(2019, 2, 14, 15, 59), dt.datetime(2019, 2, 15, 15, 59)):
    show(f"  days.csv {day_end.date()} ES % Since Open", percent_since_open(spy, day_end))
    show(f"  days.csv {day_end.date()} VWAP (RTH)", vwap(spy, day_end))


def surge_times(series):
    """Per day, the bar time where the volume jumps most from the bar before it (from nothing
    after a gap of more than an hour), as the file stamps it."""
    surges = {}
    previous = None
    for b in series:
        follows = previous is not None and (b[0] - previous[0]) <= dt.timedelta(hours=1)
        jump = b[5] - (previous[5] if follows else 0.0)
        day = b[0].date()
        if day not in surges or jump > surges[day][1]:
            surges[day] = (b[0].time(), jump)
        previous = b
    return [(str(day), str(t)) for day, (t, _) in sorted(surges.items())]


print("2019-02-13 to 15: SPY, newest first, as stamped in the file")
for day, time in surge_times(bars("SPY_2019-02-13_15_ET_descending.csv", "datetime")):
    print(f"  {day} volume surge at {time}")

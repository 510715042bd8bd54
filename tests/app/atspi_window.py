#!/usr/bin/python3
"""A run from the window as assistive technology follows it over the AT-SPI bus.

Usage: dbus-run-session -- atspi_window.py VESTRELLE

Starts its own X server, window manager and accessibility bus, then drives the
program through the bus alone, as a screen reader user would: types the folders,
presses コピー開始, answers the summary, runs an estimate and reads its window.
Exits 77 (skipped) with the reason where the stack cannot start here.
"""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktopsession import (application, check, find, finish, nodes, press, pump, pyatspi, skip,  # noqa: E402
                            start_desktop, start_program, stop, text_of)

FILES = 24000  # enough for a run of a few seconds here: the progress ticks once a second


def main():
    program = sys.argv[1]
    scratch = tempfile.mkdtemp(prefix="vestrelle-atspi-")
    processes = []
    try:
        processes += start_desktop()
        source = os.path.join(scratch, "source")
        destination = os.path.join(scratch, "destination")
        os.makedirs(destination)
        for folder in range(FILES // 100):
            path = os.path.join(source, "d%03d" % folder)
            os.makedirs(path)
            for number in range(100):
                with open(os.path.join(path, "f%03d" % number), "wb") as file:
                    file.write(b"x" * 2048)
        processes.append(start_program(program, scratch))

        app = application()
        if app is None:
            skip("the program did not appear on the accessibility bus")
        frame = find(app, "frame", timeout=20)
        check(frame is not None and frame.name.startswith("更新ファイルコピー"), "the main window is a frame")

        if frame is None:
            return
        # Every control has a name of its own, on one line.
        controls = ("push button", "check box", "combo box", "text", "table", "status bar", "progress bar")
        names = {}
        for node in nodes(frame, lambda n: n.getRoleName() in controls and n.name is not None):
            names.setdefault(node.name, []).append(node.getRoleName())
        doubled = {name: roles for name, roles in names.items()
                   if len(roles) > 1 and sorted(roles) != ["combo box", "text"]}
        check(not doubled, "no two controls share a name: %s" % doubled)
        check(all(name and "\r" not in name and "\n" not in name for name in names),
              "every control is named, without line ends: %s" % sorted(names))
        copied_list = find(frame, "table", "コピーされたファイル")
        check(copied_list is not None and copied_list.description == "0 件", "the copied files' list tells its count")

        progress = find(frame, "progress bar")
        status = find(frame, "status bar")
        check(progress is not None, "the window has a progress bar")
        check(status is not None and status.name == "状態", "the status line is a status bar")
        if progress is None or status is None:
            return

        values, spoken, titles = [], [], []

        def heard(event):
            try:
                role = event.source.getRoleName()
                if event.type.startswith("object:property-change:accessible-value") and role == "progress bar":
                    value = event.source.queryValue()
                    values.append((value.currentValue, value.maximumValue))
                elif event.type.startswith("object:state-changed:showing") and role == "notification" \
                        and event.detail1:
                    spoken.append(event.source.name)
                elif event.type.startswith("object:property-change:accessible-name") and role == "frame":
                    titles.append(event.source.name)
            except Exception:
                pass

        pyatspi.Registry.registerEventListener(
            heard, "object:property-change:accessible-value", "object:state-changed:showing",
            "object:property-change:accessible-name")

        for name, path in (("コピー元フォルダ", source), ("コピー先フォルダ", destination)):
            field = find(frame, "text", name)
            field.queryEditableText().setTextContents(path)
        count = find(frame, "label", "ファイル数")
        counted = pump(60, lambda: nodes(frame, lambda n: n.getRoleName() == "label" and n.name == "ファイル数"
                                          and text_of(n).replace(",", "") == str(FILES), timeout=0))
        check(counted, "the source's files are counted before the run (%s)" % (count and text_of(count)))

        press(find(frame, "push button", "コピー開始"))
        summary = find(app, "alert", timeout=300) or find(app, "dialog", timeout=5)
        check(summary is not None, "the run ends with its summary")
        check(any(current > 0 and current < maximum for current, maximum in values),
              "the progress bar advanced during the run: %s" % values[:5])
        check(values and values[-1] == (float(FILES), float(FILES)),
              "the progress bar ended at the count: %s" % values[-1:])
        check(spoken[:1] == ["コピーを開始しました"] and "コピーが終了しました" in spoken,
              "the start and the end were announced: %s" % spoken)
        check(any(" - 更新ファイルコピー" in title for title in titles), "the title's changes were told")
        check(copied_list.description == "%d 件" % FILES, "the list tells its count: %s" % copied_list.description)
        if summary is not None:
            press(find(summary, "push button"))
        pump(10, lambda: "showing" not in [pyatspi.stateToString(s) for s in progress.getState().getStates()])
        check(not progress.getState().contains(pyatspi.STATE_SHOWING), "the progress bar goes with the run")
        check(pump(10, lambda: "コピーした数" in text_of(status)),
              "the status bar keeps the summary: %r" % text_of(status))

        # An estimate where everything is copied: its window is a dialog of labelled figures.
        press(find(frame, "push button", "コピー先の必要容量見積"))
        estimate = find(app, "dialog", "コピー容量見積*", timeout=60)
        check(estimate is not None, "the estimate window is a dialog")
        if estimate is None:
            return
        closing = find(estimate, "push button", "閉じる", timeout=120)
        check(closing is not None, "the estimate ends")
        figures = [n for n in nodes(estimate) if n.getRoleName() == "label" and n.getRelationSet()
                   and any(r.getRelationType() == pyatspi.RELATION_LABELLED_BY for r in n.getRelationSet())]
        order = [n.name for n in figures]
        check(order[:6] == ["コピー先", "総容量", "空き容量", "ｺﾋﾟｰ対象容量", "ｺﾋﾟｰ先存在量", "差分必要量"],
              "the figures read in order, each by its caption: %s" % order)
        by_name = {n.name: text_of(n) for n in figures}
        gauges = {n.name: n for n in nodes(estimate, lambda n: n.getRoleName() == "progress bar")}
        def number(text):
            return float(text.replace(",", "")) if text.replace(",", "").lstrip("-").isdigit() else None

        total = number(by_name.get("総容量", ""))
        check(bool(total), "the volume's size is shown: %r" % by_name.get("総容量"))
        for legend in ("総容量", "空き容量", "ｺﾋﾟｰ対象容量", "ｺﾋﾟｰ先存在量", "差分必要量"):
            gauge, shown = gauges.get(legend), number(by_name.get(legend, ""))
            value = gauge.queryValue().currentValue if gauge is not None else None
            # The gauge is the figure in hundredths of the volume: 0 bytes is 0 %.
            check(value is not None and shown is not None and total
                  and abs(value - shown / total * 100) < 1e-9 * max(1.0, value),
                  "the gauge %s stands at its figure %r of the volume: %r" % (legend, by_name.get(legend), value))
        check(by_name.get("ｺﾋﾟｰ対象容量") == "0", "nothing is left to copy: %r" % by_name.get("ｺﾋﾟｰ対象容量"))
        check(spoken[-2:] == ["見積を開始しました", "見積が終了しました"],
              "the estimate's start and end were announced: %s" % spoken)
        press(closing)
    finally:
        stop(processes)
        shutil.rmtree(scratch, ignore_errors=True)


main()
finish()

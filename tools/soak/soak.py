#!/usr/bin/env python3
"""The soak run: the real manager on a virtual display, over a demo world of the
vendor tool, driven through its window for CYCLES cycles of installing one
package and removing it again (every tenth from a file carried in, through the
file dialog), with syncs and install-alls among them and the vendor site's
faults switched on at random for some cycles. After every step it checks that
extdb.cfg, the settings and the Packages and Downloads folders agree with what
the list shows; after every cycle it records the manager's resident memory.
scripts/soak.sh builds, starts Xvfb and runs this; see --help.

The window is driven by xdotool: clicks into the list, keys (Home, Down, Enter,
Delete, Menu, Alt+I, Escape), a path typed into the file dialog, and the
message boxes answered with Return (their default button) or Escape. Two things a user sees but a script cannot read off
pixels come from the program's measuring seam (active with the trace file,
src/windows/cTraceSignals.h): SIGUSR2 writes what the main window shows into
the trace, and SIGUSR1 starts a sync as the sync toolbar's retry button does,
because a synced window offers no button that syncs again.

Also: `soak.py plot OUT.png RUN.csv [BEFORE.csv]` draws memory against cycles.
"""

import argparse
import csv
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse
from pathlib import Path

MAIN_TITLE = "Kestrovia Morvelin扩展包管理器"
TARGET = "nikon"  # the package installed and removed in every cycle
STATUS = {"已安装": 0, "订单处理中": 1, "待下载": 2, "待更新": 3, "正在下载": 4, "待安装": 5,
          "正在安装": 6, "正在卸载": 7, "未购买": 8, "失败": 9, "已覆盖": 10}
WAIT = 60        # seconds for a step of the program (a download, a sync)
READ_STALL = 45  # the downloader gives up on a silent body after 30 s
CLICK_GAP = 0.6  # clicks closer than 400 ms would make a double click
# A body cut short or stalled after half the archive is finished by a range
# request; a server error or a connection closed before any answer fails.
RESUMED = ("truncate", "stall-timeout")


class SoakError(Exception):
    pass


def xdotool(*args, check=True):
    run = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    if check and run.returncode != 0:
        raise SoakError(f"xdotool {' '.join(map(str, args))}: {run.stderr.strip()}")
    return run.stdout


def wait_for(what, condition, timeout, step=0.1):
    end = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > end:
            raise SoakError(f"timed out waiting for {what}")
        time.sleep(step)


def number(version):
    """The leading decimal number of a version, as the program compares them."""
    match = re.match(r"\s*[0-9]*(\.[0-9]*)?", version)
    try:
        return float(match.group(0))
    except ValueError:
        return 0.0


def normalised(version):
    return version + ".0" if version.rfind(".") == 1 else version


class Site:
    """The vendor tool's site on one fixed port, restarted to change its faults."""

    def __init__(self, vendor, root, work):
        self.vendor, self.root, self.work = vendor, root, work
        self.port, self.process, self.faults = 0, None, ()
        self.log = work / "site.log"

    def start(self, faults=()):
        self.stop()
        command = [self.vendor, "serve", "--root", self.root, "--port", str(self.port)]
        for fault in faults:
            command += ["--fault", fault]
        out = self.work / "site.out"
        for _ in range(100):  # the port may still be held for a moment
            with open(out, "w") as o, open(self.log, "a") as e:
                self.process = subprocess.Popen(command, stdout=o, stderr=e)
            try:
                wait_for("the site", lambda: "port " in out.read_text()
                         or self.process.poll() is not None, 10, 0.02)
            except SoakError:
                pass
            if self.process.poll() is None and "port " in out.read_text():
                self.port = int(out.read_text().split()[1])
                self.faults = tuple(faults)
                return
            time.sleep(0.2)
        raise SoakError(f"the site does not start: {' '.join(map(str, command))}")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}"

    def requests(self):
        return self.log.read_text(errors="replace").count("\n") if self.log.exists() else 0

    def resumed_since(self, requests):
        """Whether a range request came after the first `requests` lines of the log."""
        lines = self.log.read_text(errors="replace").splitlines()[requests:]
        return any("| Range: bytes=" in line for line in lines)


class Manager:
    """The running program: its trace, its window, its message boxes."""

    def __init__(self, soak):
        self.soak = soak
        self.trace = soak.work / "trace.txt"
        self.process = None
        self.pid = None
        self.window = None
        self.events = []
        self.read_at = 0
        self.answered = 0  # message-box events already answered
        self.last_click = 0.0

    def start(self):
        env = dict(os.environ, XDG_CONFIG_HOME=str(self.soak.config),
                   TOVARINTH_VENDOR_URL=self.soak.site.url, TOVARINTH_TRACE_FILE=str(self.trace),
                   QT_QPA_PLATFORM="xcb")
        command = [*self.soak.args.wrap.split(), str(self.soak.editor / "tovarinth")]
        with open(self.soak.work / "manager.log", "w") as log:
            self.process = subprocess.Popen(command, env=env, stdout=log,
                                            stderr=subprocess.STDOUT)
        self.window = wait_for("the main window", lambda: self.find(MAIN_TITLE), WAIT, 0.2)
        # The program's own id (under a wrapper such as heaptrack it is not the child's).
        self.pid = int(xdotool("getwindowpid", self.window).strip())
        self.wait_event("sync-done", 0)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()  # no clean exit: what is held stays in a heap profile
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def alive(self):
        if self.process.poll() is not None:
            raise SoakError(f"the manager ended (code {self.process.returncode}); "
                            f"see {self.soak.work / 'manager.log'}")

    # The trace: "<event> <ms> <ms>" lines.
    def read(self):
        if not self.trace.exists():
            return self.events
        with open(self.trace, "rb") as f:
            f.seek(self.read_at)
            data = f.read()
        end = data.rfind(b"\n") + 1
        self.read_at += end
        for line in data[:end].decode("utf-8", "replace").splitlines():
            self.events.append(line.split(" ")[0])
        return self.events

    def count(self, prefix):
        return sum(1 for e in self.read() if e.startswith(prefix))

    def wait_event(self, prefix, after, timeout=WAIT):
        """Waits until more than after events start with prefix."""
        def seen():
            self.alive()
            return self.count(prefix) > after
        wait_for(prefix, seen, timeout)

    def shown(self):
        """What the main window shows, from the measuring seam."""
        before = self.count("window:")
        os.kill(self.pid, signal.SIGUSR2)
        self.wait_event("window:", before, 15)
        last = [e for e in self.events if e.startswith("window:")][-1]
        return json.loads(urllib.parse.unquote(last[len("window:"):]))

    def idle(self, timeout=WAIT):
        """Waits until no work runs: the list is enabled and no dialog is open."""
        def ready():
            shown = self.shown()
            return shown if shown["enabled"] and not shown["dialog"] else None
        return wait_for("the list to be enabled", ready, timeout, 0.3)

    # The window system.
    def find(self, title):
        ids = xdotool("search", "--onlyvisible", "--name", f"^{re.escape(title)}$",
                      check=False).split()
        return ids[0] if ids else None

    def key(self, *keys, window=None):
        xdotool("windowfocus", window or self.window, "key", "--clearmodifiers", *keys)

    def click(self, x, y):
        time.sleep(max(0.0, self.last_click + CLICK_GAP - time.monotonic()))
        xdotool("mousemove", x, y, "click", 1)
        self.last_click = time.monotonic()

    def message(self, timeout=WAIT):
        """The next message box: (title, text), waited for until it shows."""
        def opened():
            self.alive()
            boxes = [e for e in self.read() if e.startswith("message-box:")]
            return boxes[self.answered] if len(boxes) > self.answered else None
        event = wait_for("a message box", opened, timeout)
        self.answered += 1
        _, title, text = event.split(":", 2)
        return urllib.parse.unquote(title), urllib.parse.unquote(text)

    def answer(self, expected, key="Return", timeout=WAIT, meanwhile=None):
        """Waits for the message box expected ("title: text" or a list of
        them), runs meanwhile and answers it with key; returns what it said."""
        title, text = self.message(timeout)
        said = f"{title}: {text}"
        if said not in ([expected] if isinstance(expected, str) else expected):
            raise SoakError(f"message box '{said}', expected {expected}")
        if meanwhile:
            meanwhile()
        box = wait_for(f"the message box {title}", lambda: self.find(title), 15, 0.1)
        time.sleep(0.3)  # mapped is not yet painted nor focused
        for _ in range(5):
            self.key(key, window=box)
            try:
                wait_for("the message box to close",
                         lambda: box not in xdotool("search", "--onlyvisible", "--name",
                                                    f"^{re.escape(title)}$",
                                                    check=False).split(), 3)
                return said
            except SoakError:
                pass
        raise SoakError(f"the message box '{said}' stays open")

    def no_message(self):
        if self.count("message-box:") > self.answered:
            title, text = self.message(0)
            raise SoakError(f"unexpected message box '{title}: {text}'")

    def select(self, row):
        """Selects the list's row by a click into the list and the keys."""
        for _ in range(5):
            shown = self.idle()
            x, y, w, _ = shown["list"]
            self.click(x + w // 2, y + 8)
            self.key("Home")
            if row:
                self.key(*["Down"] * row)
            shown = self.shown()
            if shown["rows"][row]["selected"] and shown["enabled"]:
                return
        raise SoakError(f"row {row} cannot be selected")


class Soak:
    def __init__(self, args):
        self.args = args
        self.work = Path(args.work).resolve()
        self.world = self.work / "world"
        self.editor = self.world / "editor"
        self.config = self.world / "config"
        self.ini = self.config / "Kestrovia" / "Kestrovia.ini"
        self.vendor = str(Path(args.vendor).resolve())
        self.rng = random.Random(args.seed)
        self.site = Site(self.vendor, str(self.world / "site"), self.work)
        self.manager = Manager(self)
        self.stale = set()   # packages whose files the soak removed since the list was rebuilt
        self.checks = 0
        self.rows = []

    # The world.
    def make_world(self):
        if self.work.exists():
            shutil.rmtree(self.work)
        (self.world / "site").mkdir(parents=True)
        self.site.start()  # a free port, kept for the whole run
        subprocess.run([self.vendor, "demo-world", "--data", self.args.data, "--world",
                        str(self.world), "--url", self.site.url, "--manager", self.args.manager],
                       check=True, capture_output=True,
                       env=dict(os.environ, XDG_CONFIG_HOME=str(self.config)))
        profile = next((self.world / "site" / "kvxta_user_ext_info").iterdir())
        self.packages = {}
        for e in json.loads(profile.read_text())["extensions"]:
            version = normalised(e["version"])
            proof = subprocess.run([self.vendor, "checksum", e["name"], version], check=True,
                                   capture_output=True, text=True).stdout.strip()
            self.packages[e["display"]] = dict(e, version=version,
                                               valid=proof.upper() == e["checksum"].upper())
        self.by_name = {p["name"]: p for p in self.packages.values()}
        self.first_files = {d: set(os.listdir(self.editor / d)) if (self.editor / d).exists()
                            else set() for d in ("Packages", "Downloads")}
        self.hub = self.world / "site" / "hub"

    # What the files say.
    def installed_db(self):
        path = self.editor / "extdb.cfg"
        if not path.exists() or path.stat().st_size == 0:
            return {}
        plain = self.work / "extdb.json"
        subprocess.run([self.vendor, "decrypt", "--key", "machine", str(path), str(plain)],
                       check=True, capture_output=True)
        return json.loads(plain.read_bytes().rstrip(b"\0").decode("utf-8"))

    def settings(self):
        values, section = {}, None
        for line in self.ini.read_text(encoding="utf-8").splitlines():
            if line.startswith("["):
                section = line.strip()[1:-1]
            elif section == "Tovarinth" and "=" in line:
                key, value = line.split("=", 1)
                values[key.strip()] = value.strip()
        return values

    def expected_status(self, p, db, settings):
        """A package row's status worked out from the files, as the list must show it."""
        if p["status"] == "PENDING":
            return 1
        if p["status"] != "OK":
            return 8
        if not p["valid"]:
            return 9
        descriptor = self.editor / "Packages" / p["checksum"] / "extension.cfg"
        has_descriptor = descriptor.exists() and descriptor.stat().st_size > 0
        archived = (self.editor / "Downloads" / (p["checksum"] + ".Z")).exists()
        installed = len(db.get(p["name"], [])) > 0
        local = settings.get(p["name"], p["version"])
        if has_descriptor or archived:
            return 0 if has_descriptor and installed and number(p["version"]) == number(local) \
                else 5
        if installed:
            return 3 if number(p["version"]) > number(local) else 2
        return 2

    def check(self, shown, step):
        """extdb.cfg, the settings and the two folders against the list."""
        self.checks += 1
        problems = []
        db, settings = self.installed_db(), self.settings()
        rows = {}
        for r in shown["rows"]:
            display = r["cells"][0].strip()
            if display in self.packages:
                label = r["cells"][3].rstrip("\u2714\u2601\u274c\u2796 .").strip()
                rows[display] = STATUS.get(label, -1)
        # After a failed sync the rows come from the last accepted catalogue:
        # the same packages.
        if set(rows) != {d for d, p in self.packages.items() if p["count"] > 0}:
            problems.append(f"rows {sorted(rows)} instead of the account's packages")
        for display, p in self.packages.items():
            expected = self.expected_status(p, db, settings)
            name = p["name"]
            shows = rows.get(display)
            if shows is not None and name not in self.stale and shows != expected:
                problems.append(f"{name}: the list shows {shows}, the files say {expected}")
            if expected == 0 and settings.get(name) != p["version"]:
                problems.append(f"{name}: installed, but the setting says {settings.get(name)}")
            if name in db and expected not in (0, 3, 10):
                problems.append(f"{name}: in extdb.cfg, status {expected}")
        for name in set(db) - set(self.by_name):
            problems.append(f"extdb.cfg holds {name}, no package of the account")
        known = {p["checksum"] for p in self.packages.values()}
        for folder, allowed in (("Packages", known), ("Downloads", {c + ".Z" for c in known})):
            present = set(os.listdir(self.editor / folder)) if (self.editor / folder).exists() \
                else set()
            for entry in present - allowed - self.first_files[folder]:
                problems.append(f"{folder}/{entry}: left by the program")
        for archive in (self.editor / "Downloads").glob("*.Z"):
            if archive.name in self.first_files["Downloads"]:
                continue
            if archive.read_bytes() != (self.hub / archive.name).read_bytes():
                problems.append(f"Downloads/{archive.name} differs from the site's archive")
        if problems:
            raise SoakError(f"check after {step} failed:\n  " + "\n  ".join(problems))
        return rows

    def row_of(self, name, shown):
        display = self.by_name[name]["display"]
        for i, r in enumerate(shown["rows"]):
            if r["cells"][0].strip() == display:
                return i
        raise SoakError(f"no row for {name}")

    def status_of(self, name, shown):
        return STATUS.get(shown["rows"][self.row_of(name, shown)]["cells"][3]
                          .rstrip("\u2714\u2601\u274c\u2796 .").strip(), -1)

    # The user's steps.
    def install(self, name, fault=None):
        m = self.manager
        shown = m.idle()
        before = self.status_of(name, shown)
        display = self.by_name[name]["display"]
        m.select(self.row_of(name, shown))
        requests = self.site.requests()
        m.key("Return")
        m.answer(f"安装扩展包: 是否安装 {display} 型号扩展包？")
        if fault == "stall-cancel":
            # Escape once the site holds the request, as a user gives up on a stuck bar.
            wait_for("the download", lambda: self.site.requests() > requests, WAIT)
            time.sleep(1.5)
            m.key("Escape")
            shown = m.idle()
            m.no_message()
            if self.status_of(name, shown) != before:
                raise SoakError(f"{name}: a cancelled install left the row at "
                                f"{self.status_of(name, shown)}, not {before}")
            return self.check(shown, f"cancelled install of {name}")
        if fault in RESUMED:
            # The line comes back: the download goes on from where it broke off.
            m.answer(f"提示: 成功安装 {display} 扩展包！",
                     timeout=READ_STALL + WAIT if fault == "stall-timeout" else WAIT)
            if not self.site.resumed_since(requests):
                raise SoakError(f"{name}: installed through a {fault} without a resumed request")
            self.stale.clear()
            return self.check(m.idle(), f"resumed install of {name} ({fault})")
        if fault:
            m.answer("错误: 安装扩展包失败！")
            shown = m.idle()
            if self.status_of(name, shown) != before:
                raise SoakError(f"{name}: a failed install left the row at "
                                f"{self.status_of(name, shown)}, not {before}")
            return self.check(shown, f"failed install of {name} ({fault})")
        m.answer(f"提示: 成功安装 {display} 扩展包！")
        self.stale.clear()
        return self.check(m.idle(), f"install of {name}")

    def install_file(self, name):
        """The package's archive carried in on a stick, installed through the
        context menu's last item, 从文件安装..., and the file dialog."""
        m = self.manager
        shown = m.idle()
        display = self.by_name[name]["display"]
        stick = self.work / "stick"
        stick.mkdir(exist_ok=True)
        archive = stick / (self.by_name[name]["checksum"] + ".Z")
        shutil.copyfile(self.hub / archive.name, archive)
        m.select(self.row_of(name, shown))
        m.key("Menu")
        time.sleep(0.3)
        m.key("Up", "Return")
        dialog = wait_for("the file dialog", lambda: m.find("从文件安装扩展包"), 15)
        time.sleep(0.3)
        xdotool("windowfocus", dialog, "type", "--delay", "5", str(archive))
        m.key("Return", window=dialog)
        m.answer(f"提示: 成功安装 {display} 扩展包！")
        self.stale.clear()
        return self.check(m.idle(), f"install of {name} from a file")

    def remove(self, name):
        m = self.manager
        shown = m.idle()
        display = self.by_name[name]["display"]
        m.select(self.row_of(name, shown))
        m.key("Delete")
        m.answer(f"卸载扩展包: 是否卸载 {display} 扩展包？")
        m.answer(f"提示: 成功卸载 {display} 扩展包！")
        self.stale.clear()
        return self.check(m.idle(), f"removal of {name}")

    def forget(self, name):
        """The user clears the package's files away, so the next install downloads."""
        c = self.by_name[name]["checksum"]
        shutil.rmtree(self.editor / "Packages" / c, ignore_errors=True)
        (self.editor / "Downloads" / (c + ".Z")).unlink(missing_ok=True)
        self.stale.add(name)

    def install_all(self):
        m = self.manager
        m.idle()
        m.key("alt+i")
        m.answer(["提醒: 部分扩展包安装失败！", "提示: 成功安装所有已购买的扩展包！"])
        self.stale.clear()
        rows = self.check(m.idle(), "install-all")
        for display, status in rows.items():
            name = self.packages[display]["name"]
            if status == 0 and name not in self.keep:
                self.remove(name)
                self.forget(name)

    def sync(self, fault, answer):
        m = self.manager
        m.idle()
        if fault:
            self.site.start([fault])
        done = m.count("sync-done")
        os.kill(m.pid, signal.SIGUSR1)
        if fault:
            # The site is mended while the message shows; Retry syncs at once.
            m.answer(["错误: 获取用户扩展包信息失败！", "错误: 下载配置文件失败！"],
                     key="Return" if answer == "retry" else "Escape",
                     meanwhile=self.site.start)
            if answer != "retry":
                shown = m.idle()
                self.stale.clear()
                self.check(shown, "a failed sync")
                if shown["sync"] != 3 or not shown["retry"]:
                    raise SoakError("no retry button after a failed sync")
                x, y, w, h = shown["retry"]
                m.click(x + w // 2, y + h // 2)
        m.wait_event("sync-done", done)
        self.stale.clear()
        return self.check(m.idle(), f"sync ({fault or 'no fault'}, {answer})")

    # The plan: which cycle does what.
    def plan(self, cycles):
        faults = ["truncate", "stall-cancel", "stall-timeout", "error", "close"]
        weights = [3, 2, 1, 3, 2]
        sync_faults = ["", "status:500", "close", "truncate:20", "endpoint"]
        # The warm-up meets every kind of cycle once, so that what a first use
        # costs (code and font pages, Qt's caches) falls within it.
        first_faults = dict(zip([2, 4, 11, 14, 22], faults))
        syncs = 0
        plan = []
        for k in range(1, cycles + 1):
            step = {"cycle": k, "kind": "install", "fault": "", "keep": False}
            if k % 25 == 5:
                step["kind"] = "install-all"
            elif self.args.file_every and k % self.args.file_every == 3 % self.args.file_every:
                step["kind"] = "install-file"
            elif k % 10 == 8:
                step["kind"] = "sync"
                step["fault"] = sync_faults[syncs] if syncs < len(sync_faults) \
                    else self.rng.choice(sync_faults)
                step["answer"] = ["retry", "retry-button"][syncs % 2] if syncs < 4 \
                    else self.rng.choice(["retry", "retry-button"])
                syncs += 1
            elif k in first_faults:
                step["fault"] = first_faults[k]
            elif k > max(first_faults) and self.rng.random() < self.args.fault_share:
                step["fault"] = self.rng.choices(faults, weights)[0]
            plan.append(step)
        # Some installs come from the unpacked folder, with nothing to download.
        for a, b in zip(plan, plan[1:]):
            a["keep"] = not b["fault"] and self.rng.random() < 0.25
        return plan

    def site_fault(self, fault):
        archive = (self.hub / (self.by_name[TARGET]["checksum"] + ".Z")).stat().st_size
        return {"truncate": f"/hub/=truncate:{archive // 2}",
                "stall-cancel": f"/hub/=stall:{archive // 3}",
                "stall-timeout": f"/hub/=stall:{archive // 2 + 1}",
                "error": "/hub/=status:" + self.rng.choice(["500", "503", "404"]),
                "close": "/hub/=close"}[fault]

    def cycle(self, step):
        if step["kind"] == "sync":
            fault = {"": "", "endpoint": "/update/=status:500"}.get(
                step["fault"], "/kvxta_user_ext_info/=" + step["fault"])
            self.sync(fault, step["answer"])
        elif step["kind"] == "install-all":
            self.install_all()
            return
        if step["kind"] == "install-file":
            self.install_file(TARGET)
        elif step["fault"] and step["kind"] == "install":
            self.site.start([self.site_fault(step["fault"])])
            self.install(TARGET, step["fault"])
            self.site.start()
        if step["kind"] != "install-file" and step["fault"] not in RESUMED:
            self.install(TARGET)
        self.remove(TARGET)
        if not step["keep"]:
            self.forget(TARGET)

    def memory(self):
        status = Path(f"/proc/{self.manager.pid}/status").read_text()
        fields = dict(re.findall(r"^(\w+):\s+(\d+)", status, re.M))
        fds = len(os.listdir(f"/proc/{self.manager.pid}/fd"))
        # The main arena's share of the anonymous memory: the [heap] mapping.
        heap, inside = 0, False
        for line in Path(f"/proc/{self.manager.pid}/smaps").read_text().splitlines():
            if not line[:1].isupper():
                inside = line.endswith("[heap]")
            elif inside and line.startswith("Rss:"):
                heap += int(line.split()[1])
        shown = self.manager.shown()
        return {"vmrss_kb": int(fields["VmRSS"]), "rssanon_kb": int(fields["RssAnon"]),
                "rssfile_kb": int(fields["RssFile"]), "rssshmem_kb": int(fields["RssShmem"]),
                "heap_kb": heap, "inuse_kb": shown.get("heapInUse", -1024) // 1024,
                "free_kb": shown.get("heapFree", -1024) // 1024,
                "threads": int(fields["Threads"]), "fds": fds}

    def run(self):
        self.make_world()
        self.manager.start()
        shown = self.manager.idle()
        rows = self.check(shown, "start")
        self.keep = {self.packages[d]["name"] for d, s in rows.items() if s == 0}
        if self.by_name[TARGET]["display"] not in rows:
            raise SoakError(f"{TARGET} is not in the list")
        plan = self.plan(self.args.cycles)
        out = open(self.work / "soak.csv", "w", newline="")
        writer = csv.writer(out)
        writer.writerow(["cycle", "kind", "fault", "seconds", "vmrss_kb", "rssanon_kb",
                         "rssfile_kb", "rssshmem_kb", "heap_kb", "inuse_kb", "free_kb", "threads",
                         "fds"])
        every = max(1, len(plan) // 25)
        print(f"{'cycle':>5} {'what':<24} {'s':>5} {'VmRSS kB':>9} {'RssAnon':>8} "
              f"{'RssFile':>8} {'[heap]':>7} {'in use':>7} {'free':>6} {'threads':>7} {'fds':>4}",
              flush=True)
        for step in plan:
            start = time.monotonic()
            self.cycle(step)
            self.manager.idle()
            mem = self.memory()
            seconds = time.monotonic() - start
            what = step["kind"] + (f" ({step['fault']})" if step["fault"] else "")
            row = [step["cycle"], step["kind"], step["fault"], f"{seconds:.1f}", mem["vmrss_kb"],
                   mem["rssanon_kb"], mem["rssfile_kb"], mem["rssshmem_kb"], mem["heap_kb"],
                   mem["inuse_kb"], mem["free_kb"], mem["threads"], mem["fds"]]
            writer.writerow(row)
            out.flush()
            self.rows.append(row)
            if step["cycle"] % every == 0 or step["cycle"] in (1, len(plan)):
                print(f"{step['cycle']:>5} {what:<24} {seconds:>5.1f} {mem['vmrss_kb']:>9} "
                      f"{mem['rssanon_kb']:>8} {mem['rssfile_kb']:>8} {mem['heap_kb']:>7} "
                      f"{mem['inuse_kb']:>7} {mem['free_kb']:>6} {mem['threads']:>7} "
                      f"{mem['fds']:>4}", flush=True)
        out.close()
        return self.work / "soak.csv"


def summary(csv_path, warmup):
    rows = list(csv.DictReader(open(csv_path)))
    xs = [int(r["cycle"]) for r in rows]
    ys = [int(r["vmrss_kb"]) for r in rows]
    if len(rows) < 3:
        return {}
    warm = min(warmup, len(rows) // 3)
    tail = [(x, y) for x, y in zip(xs, ys) if x > warm]
    mx = sum(x for x, _ in tail) / len(tail)
    my = sum(y for _, y in tail) / len(tail)
    slope = sum((x - mx) * (y - my) for x, y in tail) / sum((x - mx) ** 2 for x, _ in tail)
    ref = ys[warm - 1]
    worst = max(abs(y - ref) for _, y in tail)
    anon = [int(r["rssanon_kb"]) for r in rows if int(r["cycle"]) > warm]
    ax = [x for x in xs if x > warm]
    ma = sum(anon) / len(anon)
    slope_anon = sum((x - mx) * (y - ma) for x, y in zip(ax, anon)) / sum(
        (x - mx) ** 2 for x in ax)
    return {"cycles": len(rows), "warmup": warm, "first": ys[0], "reference": ref,
            "last": ys[-1], "max": max(ys), "slope": slope, "slope_anon": slope_anon,
            "worst_pct": 100.0 * worst / ref}


def plot(out, runs, warmup=50):
    """Memory against cycles as a PNG, drawn by ImageMagick: runs are
    (label, colour, csv path); the band is +-5% of the first run's value after
    the warm-up."""
    series = []
    for label, colour, path in runs:
        rows = list(csv.DictReader(open(path)))
        series.append((label, colour, [(int(r["cycle"]), int(r["vmrss_kb"]) / 1024.0)
                                       for r in rows]))
    width, height, left, right, top, bottom = 900, 500, 80, 30, 40, 60
    xmax = max(p[0] for _, _, pts in series for p in pts)
    ys = [p[1] for _, _, pts in series for p in pts]
    last = series[-1][2]
    ref = last[min(warmup, len(last) // 3) - 1][1]
    ylo = min(min(ys), ref * 0.95) * 0.98
    yhi = max(max(ys), ref * 1.05) * 1.02

    def px(x, y):
        return (left + (width - left - right) * x / xmax,
                height - bottom - (height - top - bottom) * (y - ylo) / (yhi - ylo))

    font = subprocess.run(["fc-match", "-f", "%{file}", "sans"], capture_output=True,
                          text=True).stdout.strip()
    draw = ["-fill", "#eef5e8", "-stroke", "none",
            "-draw", "rectangle %d,%d %d,%d" % (*px(0, ref * 1.05), *px(xmax, ref * 0.95)),
            "-stroke", "#333333", "-fill", "none",
            "-draw", f"line {left},{height - bottom} {width - right},{height - bottom}",
            "-draw", f"line {left},{top} {left},{height - bottom}"]
    text = []
    for i in range(6):
        y = ylo + (yhi - ylo) * i / 5
        _, py = px(0, y)
        draw += ["-draw", f"line {left - 5},{py:.0f} {left},{py:.0f}"]
        text.append((8, py + 4, f"{y:.1f}"))
        x = xmax * i / 5
        qx, _ = px(x, ylo)
        draw += ["-draw", f"line {qx:.0f},{height - bottom} {qx:.0f},{height - bottom + 5}"]
        text.append((qx - 10, height - bottom + 20, f"{x:.0f}"))
    for label, colour, pts in series:
        points = " ".join("%.1f,%.1f" % px(x, y) for x, y in pts)
        draw += ["-stroke", colour, "-strokewidth", "2", "-fill", "none",
                 "-draw", f"polyline {points}"]
    draw += ["-stroke", "none", "-strokewidth", "1"]
    if font:
        draw += ["-font", font]
    draw += ["-pointsize", "13", "-fill", "#333333"]
    for x, y, t in text:
        draw += ["-annotate", f"+{x:.0f}+{y:.0f}", t]
    draw += ["-annotate", f"+{width // 2 - 20}+{height - 18}", "cycle",
             "-annotate", "+8+24", "resident memory (MiB); band: +-5% of the value after "
             "the warm-up"]
    for i, (label, colour, _) in enumerate(series):
        draw += ["-fill", colour, "-annotate", f"+{width - 330}+{top + 20 + 18 * i}", label]
    subprocess.run(["convert", "-size", f"{width}x{height}", "xc:white", *draw, str(out)],
                   check=True)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "plot":
        if len(sys.argv) < 4:
            sys.exit("usage: soak.py plot OUT.png RUN.csv [BEFORE.csv]")
        runs = []
        if len(sys.argv) > 4:
            s = summary(sys.argv[4], 50)
            runs.append((f"before: {s['slope']:+.1f} kB/cycle", "#c0504d", sys.argv[4]))
        s = summary(sys.argv[3], 50)
        runs.append((f"{'after' if runs else 'run'}: {s['slope']:+.1f} kB/cycle", "#1f5fa8",
                     sys.argv[3]))
        plot(sys.argv[2], runs)
        return 0
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cycles", type=int, default=500)
    parser.add_argument("--work", required=True, help="folder for the world and the results")
    parser.add_argument("--vendor", required=True, help="the tovarinth-vendor tool")
    parser.add_argument("--manager", required=True, help="the tovarinth program")
    parser.add_argument("--data", required=True, help="data/demo")
    parser.add_argument("--seed", type=int, default=24)
    parser.add_argument("--file-every", type=int, default=10,
                        help="every Nth cycle installs from a file (0: none)")
    parser.add_argument("--fault-share", type=float, default=0.15,
                        help="share of install cycles with a site fault")
    parser.add_argument("--wrap", default="", help="runs the manager under this (heaptrack -o F)")
    parser.add_argument("--plot", help="the PNG to draw")
    parser.add_argument("--before", help="an earlier run's soak.csv to draw beside this one")
    args = parser.parse_args()

    soak = Soak(args)
    try:
        path = soak.run()
    except (SoakError, subprocess.CalledProcessError) as error:
        print(f"soak: {error}", file=sys.stderr)
        print(f"soak: {soak.checks} checks passed before; world and trace in {soak.work}",
              file=sys.stderr)
        return 1
    finally:
        soak.manager.stop()
        soak.site.stop()
    s = summary(path, 50)
    print(f"cycles {s['cycles']}, {soak.checks} consistency checks passed")
    print(f"VmRSS: first cycle {s['first']} kB, after cycle {s['warmup']} {s['reference']} kB, "
          f"last {s['last']} kB, largest {s['max']} kB")
    print(f"growth after the warm-up (least squares over cycles {s['warmup'] + 1}.."
          f"{s['cycles']}): {s['slope']:+.2f} kB/cycle VmRSS, {s['slope_anon']:+.2f} kB/cycle "
          f"RssAnon")
    print(f"largest distance from the value after cycle {s['warmup']}: {s['worst_pct']:.2f}% "
          f"(target 5%)")
    if args.plot:
        runs = []
        if args.before:
            b = summary(args.before, 50)
            runs.append((f"before: {b['slope']:+.1f} kB/cycle", "#c0504d", args.before))
        runs.append((f"{'after' if runs else 'run'}: {s['slope']:+.1f} kB/cycle", "#1f5fa8",
                     str(path)))
        plot(args.plot, runs)
        print(f"plot: {args.plot}")
    print(f"table: {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

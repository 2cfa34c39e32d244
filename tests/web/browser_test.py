#!/usr/bin/env python3
"""The web page in a real headless Chromium (Selenium), against the real program.

Starts build/xapvynCID --headless with a temporary program folder, a pseudo-terminal as
the modem and the page on 127.0.0.1:<free port>; checks that the page loads, that a call
rung into the modem appears at the top without a reload, that the search box filters,
that a hostile caller name shows as text, and that the status bar turns to "down" when
the modem goes away. Takes a wide and a phone-sized screenshot into the folder given.

Usage: browser_test.py <xapvynCID executable> [screenshot folder]
Runs itself inside a network namespace of its own (unshare -n, loopback up) where it may,
since the program binds the fixed xAP ports. Exits 77 (skipped) only when the browser
cannot start, and says why.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback
import tty

SKIP = 77


def in_own_network():
    if os.environ.get("VYN_NETNS") == "1":
        return
    if shutil.which("unshare") and shutil.which("ip"):
        probe = subprocess.run(["unshare", "-n", "true"], capture_output=True)
        if probe.returncode == 0:
            env = dict(os.environ, VYN_NETNS="1")
            cmd = ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sh",
                   sys.executable] + sys.argv
            os.execvpe("unshare", cmd, env)
    print("note: no network namespace; running on the machine's loopback")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text.replace("\n", "\r\n"))


class Program:
    def __init__(self, exe, home, port, modem_path):
        os.makedirs(os.path.join(home, "Config"), exist_ok=True)
        write(os.path.join(home, "Config", "vynXap.ini"),
              "[Interface]\nBroadcastAddress=127.0.0.1\nInterfaceAddress=127.0.0.1\nHub=off\n")
        write(os.path.join(home, "Config", "vynRinglet.ini"),
              "[General]\nCIDCommPort=%s\n[Web]\nListen=127.0.0.1:%d\n" % (modem_path, port))
        self.log = open(os.path.join(home, "stderr.txt"), "w+")
        self.process = subprocess.Popen([exe, "--headless", "--home", home],
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def wait_until(what, predicate, timeout=5.0):
    end = time.monotonic() + timeout
    last = None
    while time.monotonic() < end:
        try:
            last = predicate()
            if last:
                return last
        except Exception as e:  # the page may be between two states
            last = e
        time.sleep(0.05)
    raise AssertionError("timed out waiting for %s (last: %r)" % (what, last))


def wait_port(port, program, timeout=10.0):
    def up():
        if program.process.poll() is not None:
            raise AssertionError("program ended:\n" + program.output())
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", port)) == 0
    wait_until("the web port", up, timeout)


def start_browser(profile):
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError as e:
        print("SKIP: python3-selenium is not installed (scripts/install-deps): %s" % e)
        sys.exit(SKIP)
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    browser_path = shutil.which("chromium") or "/usr/bin/chromium"
    options = webdriver.ChromeOptions()
    options.binary_location = browser_path
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--user-data-dir=" + profile,
                 "--window-size=1200,800"]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    try:
        return webdriver.Chrome(service=Service(driver_path), options=options)
    except Exception as e:
        print("SKIP: the browser cannot start (chromium, chromium-driver): %s" % e)
        sys.exit(SKIP)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    exe = os.path.abspath(sys.argv[1])
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    in_own_network()
    try:
        from selenium.webdriver.common.by import By
    except ImportError as e:
        print("SKIP: python3-selenium is not installed (scripts/install-deps): %s" % e)
        return SKIP

    home = tempfile.mkdtemp(prefix="vyn-web-")
    master, slave = os.openpty()
    tty.setraw(slave)
    modem_path = os.ttyname(slave)
    port = free_port()
    program = Program(exe, home, port, modem_path)
    browser = None
    try:
        wait_port(port, program)
        browser = start_browser(os.path.join(home, "profile"))
        url = "http://127.0.0.1:%d/" % port

        def rows():
            return browser.find_elements(By.CSS_SELECTOR, "#rows tr")

        def top_name():
            r = rows()
            return r[0].find_element(By.CSS_SELECTOR, "td.name").text if r else ""

        def ring(number, name):
            os.write(master, ("RING\r\n\r\nNMBR = %s\r\nNAME = %s\r\n\r\n" % (number, name)).encode())

        # The page loads, with an open link and a live stream.
        browser.get(url)
        assert "recent calls" in browser.title, browser.title
        wait_until("the live stream", lambda: browser.find_element(By.ID, "live").text == "live")
        wait_until("the link open", lambda: "open" in browser.find_element(By.ID, "link").text)
        print("ok: the page loads; link:", browser.find_element(By.ID, "link").text)

        # A call appears at the top within 2 s, without a reload.
        marker = browser.execute_script("window.notReloaded = 42; return window.notReloaded;")
        ring("5551234567", "JOHN DOE")
        wait_until("JOHN DOE at the top", lambda: "JOHN DOE" in top_name(), 2.0)
        assert browser.execute_script("return window.notReloaded;") == marker, "page reloaded"
        print("ok: a new call appears at the top without a reload")

        # A hostile caller name is shown as text.
        alerts = []
        hostile = "<img src=x onerror=alert(1)>"
        time.sleep(0.5)
        ring("5559876543", hostile)
        wait_until("the hostile name at the top", lambda: top_name() == hostile, 3.0)
        assert not browser.find_elements(By.CSS_SELECTOR, "#rows img"), "markup was inserted"
        try:
            alerts.append(browser.switch_to.alert.text)
        except Exception:
            pass
        assert not alerts, "an alert ran: %r" % alerts
        print("ok: a caller named %s shows as text" % hostile)

        time.sleep(0.5)
        ring("5552223333", "MARY SMITH")
        wait_until("MARY SMITH", lambda: "MARY SMITH" in top_name(), 3.0)

        # After a reload the calls come from the history, newest first.
        browser.refresh()
        wait_until("the history", lambda: len(rows()) >= 3 and "MARY SMITH" in top_name(), 5.0)
        names = [r.find_element(By.CSS_SELECTOR, "td.name").text for r in rows()]
        assert names[:3] == ["MARY SMITH", hostile, "JOHN DOE"], names
        print("ok: the history lists the calls newest first")

        # The search box filters.
        box = browser.find_element(By.ID, "search")
        box.send_keys("john")
        wait_until("the filter", lambda: [r.find_element(By.CSS_SELECTOR, "td.name").text
                                          for r in rows()] == ["JOHN DOE"], 3.0)
        box.clear()
        box.send_keys("zzz-nobody")
        wait_until("an empty list", lambda: len(rows()) == 0 and
                   browser.find_element(By.ID, "empty").is_displayed(), 3.0)
        box.send_keys("\b" * 20)
        wait_until("the whole list again", lambda: len(rows()) >= 3, 3.0)
        print("ok: the search box filters")

        if shots:
            os.makedirs(shots, exist_ok=True)
            browser.set_window_size(1200, 700)
            time.sleep(0.3)
            browser.save_screenshot(os.path.join(shots, "web-page-wide.png"))
            browser.set_window_size(390, 780)
            time.sleep(0.3)
            browser.save_screenshot(os.path.join(shots, "web-page-phone.png"))
            browser.set_window_size(1200, 700)
            print("ok: screenshots in", shots)

        # The modem goes away: the status bar says "down".
        os.close(slave)
        os.close(master)
        slave = master = -1
        wait_until("the link down", lambda: "down" in browser.find_element(By.ID, "link").text, 5.0)
        assert "down" in browser.find_element(By.ID, "link").get_attribute("class")
        print("ok: the status bar turns to down:", browser.find_element(By.ID, "link").text)

        # The policy held: no script error, no blocked inline script.
        errors = [e for e in browser.get_log("browser") if e.get("level") == "SEVERE"
                  and "favicon" not in e.get("message", "")]
        assert not errors, errors
        print("PASS")
        return 0
    except Exception:
        traceback.print_exc()
        print("--- program output ---\n" + program.output())
        return 1
    finally:
        if browser is not None:
            browser.quit()
        program.stop()
        for fd in (master, slave):
            if fd >= 0:
                try:
                    os.close(fd)
                except OSError:
                    pass
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

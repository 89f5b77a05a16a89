#!/usr/bin/python3
"""A real browser at a phone's width against the program's window: the page pairs, sends a
text that reaches the board, and shows one the window sends. Saves a screenshot of the page.
usage: phone_browser.py PHONE_WINDOW SCREENSHOT [PAIRING_WINDOW_PICTURE]"""
import os
import queue
import shutil
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

SKIP = 77
for program in ("chromium", "chromedriver"):
    if not shutil.which(program):
        print(f"SKIP: {program} is not installed (scripts/install-deps installs it)")
        sys.exit(SKIP)
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("SKIP: python3-selenium is not installed (scripts/install-deps installs it)")
    sys.exit(SKIP)

window_program, screenshot = sys.argv[1], sys.argv[2]
with socket.socket() as probe:
    probe.bind(("", 0))
    port = probe.getsockname()[1]

window = subprocess.Popen([window_program, str(port)] + sys.argv[3:4], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          text=True, encoding="utf-8")
lines = queue.Queue()
threading.Thread(target=lambda: [lines.put(line.rstrip("\n")) for line in window.stdout], daemon=True).start()


def expect(prefix, contains="", timeout=15):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            line = lines.get(timeout=0.2)
        except queue.Empty:
            continue
        print("window:", line)
        if line.startswith(prefix) and contains in line:
            return line[len(prefix):]
    raise AssertionError(f"the window never said {prefix!r}")


def wait_for(what, check, timeout=15):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"the page never showed {what}; it shows {driver.find_element(By.ID, 'state').text!r}; "
                         f"browser log: {driver.get_log('browser')}")


driver = None
try:
    link = urllib.parse.urlsplit(expect("LINK "))
    # The window shows its network addresses; the browser stays on loopback.
    url = link._replace(netloc=f"127.0.0.1:{link.port}").geturl()
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--disable-background-networking", "--disable-component-update",
                     '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1'):
        options.add_argument(argument)
    options.add_experimental_option("mobileEmulation", {
        "deviceMetrics": {"width": 360, "height": 740, "pixelRatio": 2.0},
        "userAgent": "Mozilla/5.0 (Linux; Android 13; Pixel 7) AppleWebKit/537.36 (KHTML, like Gecko) Mobile"})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(executable_path=shutil.which("chromedriver")),
                              options=options)
    driver.get(url)
    state = driver.find_element(By.ID, "state")
    expect("NOTIFIED ", "A phone asks to pair: allow? Android phone ")
    expect("ASKED ")
    wait_for("Connected", lambda: state.text == "Connected")

    text = "hello from the phone \u2713"
    driver.find_element(By.ID, "text").send_keys(text)
    driver.find_element(By.ID, "send").click()
    expect("BOARD " + text)
    wait_for("Sent", lambda: state.text == "Sent")

    window.stdin.write("SEND text from the desktop\n")
    window.stdin.flush()
    assert expect("TO ").startswith("Android phone ")
    received = wait_for("the text from the desktop",
                        lambda: [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#received li pre")])
    assert received == ["text from the desktop"], received
    # "waiting for the phone" came first; the page's next poll confirms the text.
    expect("STATUS ", "delivered to Android phone ")

    width = driver.execute_script("return [innerWidth, document.documentElement.scrollWidth]")
    assert width == [360, 360], f"the page is wider than the phone: {width}"
    problems = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    assert not problems, problems
    driver.save_screenshot(screenshot)
    # The text the phone took is kept as sent to it; its name is not remembered as an address.
    window.stdin.close()
    expect("HISTORY ", "1 Android phone ")
    assert "Android phone" not in expect("ADDRESSES "), "a phone's name outlived its pairing"
    print("page at 360 px: paired, sent, received; screenshot", screenshot)
finally:
    if driver:
        driver.quit()
    window.stdin.close()
    try:
        window.wait(timeout=10)
    except subprocess.TimeoutExpired:
        window.kill()

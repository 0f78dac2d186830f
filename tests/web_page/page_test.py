"""The web page of ioxd in headless Chromium, over a simulated IOX-MODEL-C box.

page_test.py IOXD CHROMIUM CHROMEDRIVER
"""
import json
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

HIGH, LOW = "rgba(0, 255, 0, 1)", "rgba(255, 128, 128, 1)"  # #00FF00, #FF8080


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main(ioxd, chromium, chromedriver):
    folder = pathlib.Path(tempfile.mkdtemp(prefix="iox-web-page-"))
    trace = folder / "trace.txt"
    base = f"http://127.0.0.1:{free_port()}"
    daemon = subprocess.Popen([ioxd, "--no-mqtt", "--simulate", "IOX-MODEL-C,10001", "--name", "10001=rig 3",
                               "--http", base.removeprefix("http://"), "--trace", str(trace)])
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1024,900"):
        options.add_argument(flag)
    driver = None
    try:
        for _ in range(100):  # the daemon listens within a moment of starting
            try:
                urllib.request.urlopen(base + "/api/boxes", timeout=1).read()
                break
            except OSError:
                assert daemon.poll() is None, "ioxd stopped at start"
                time.sleep(0.1)
        driver = webdriver.Chrome(service=Service(chromedriver), options=options)
        driver.get(base + "/")
        wait = WebDriverWait(driver, 5, poll_frequency=0.05)
        box = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, 'section[data-serial="10001"]'))
        square = lambda label: box.find_element(By.CSS_SELECTOR, f'button[aria-label="{label}"]')
        colour = lambda label: square(label).value_of_css_property("background-color")
        wait.until(lambda d: colour("Relay 3") == LOW, "relay 3 never shown off")
        assert box.find_element(By.TAG_NAME, "h2").text == "rig 3"
        assert "firmware A3" in box.find_element(By.CLASS_NAME, "facts").text

        # Each click goes to the box as its request: relay 3 on (code 34) and line B5 on (code 32).
        sent = lambda prefix: any(line.startswith(prefix) for line in trace.read_text().splitlines())
        square("Relay 3").click()
        wait.until(lambda d: sent("out 10001 00 22 03 01 "), "relay 3 on never sent")
        wait.until(lambda d: colour("Relay 3") == HIGH, "relay 3 never shown on")
        square("Line B5").click()
        wait.until(lambda d: sent("out 10001 00 20 42 05 01 "), "line B5 on never sent")
        wait.until(lambda d: colour("Line B5") == HIGH, "line B5 never shown high")
        assert square("Line B5").get_attribute("aria-pressed") == "true"

        # A change made by another client shows within a second of the box carrying it out.
        request = urllib.request.Request(base + "/api/boxes/10001/port/a/6", data=b"ON", method="POST")
        assert urllib.request.urlopen(request, timeout=5).status == 204
        WebDriverWait(driver, 1, poll_frequency=0.02).until(lambda d: colour("Line A6") == HIGH,
                                                            "line A6 not shown high within a second")

        # A refused command shows the daemon's reason beside its control.
        pulse = next(form for form in box.find_elements(By.TAG_NAME, "form")
                     if form.find_element(By.TAG_NAME, "legend").text == "Pulse")
        length = pulse.find_element(By.CSS_SELECTOR, 'input[type="number"]')
        length.clear()
        length.send_keys("300")
        pulse.find_element(By.CSS_SELECTOR, 'button[type="submit"]').click()
        reason = pulse.find_element(By.CLASS_NAME, "reason")
        wait.until(lambda d: "a pulse lasts 0 to 255 ms" in reason.text, "the pulse's refusal never shown")

        # On a 360 px wide phone nothing scrolls sideways.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": 360, "height": 740, "deviceScaleFactor": 2, "mobile": True})
        width = "return [window.innerWidth, document.documentElement.scrollWidth, document.documentElement.clientWidth]"
        inner, scroll, client = wait.until(lambda d: (w := d.execute_script(width))[0] == 360 and w)
        assert scroll <= client, f"the page is {scroll} px wide on a {client} px screen"
        print("web page: clicks sent, changes shown, refusal shown, fits 360 px")
    finally:
        if driver:
            driver.quit()
        daemon.terminate()
        daemon.wait(10)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(*sys.argv[1:4])

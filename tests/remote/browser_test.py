#!/usr/bin/python3
"""The remote control page in a real browser (Debian's chromium, headless).

Starts the player in a pseudo-terminal with --remote on a free loopback port,
opens the page with its token, loads an adventure, taps an element, two scene
buttons and the volume slider, and checks that the player follows through the
API and on its terminal screen. Then stops the player: the page must say that
it is unreachable, and come back by itself when the player starts again.
Screenshots at phone and tablet sizes go to --out. Only loopback is contacted.
Exits 77 (skipped) when chromium, chromedriver or Selenium is missing.
"""
import argparse
import json
import math
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
import wave

SKIP = 77
PATIENCE = 10.0
CLEAR = b"\x1b[H\x1b[2J"


def skip(why):
    print("SKIPPED: " + why, flush=True)
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
except ImportError:
    skip("python3-selenium is not installed (apt-get install python3-selenium)")


def write_tone(path, seconds, frequency, rate=8000):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        frames = int(seconds * rate)
        out.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * frequency * n / rate)))
                                 for n in range(frames)))


class Player:
    """The player on a pseudo-terminal; the test reads its screen."""

    def __init__(self, binary, folder, listen, token_file):
        self.master, slave = pty.openpty()
        env = dict(os.environ, SDL_AUDIODRIVER="dummy")
        self.process = subprocess.Popen(
            [binary, "--remote", listen, "--remote-token-file", token_file],
            stdin=slave, stdout=slave, stderr=slave, cwd=folder, env=env, start_new_session=True)
        os.close(slave)
        self.output = b""
        found = self.read_until(lambda out: re.search(rb"remote control on (http://\S+)", out))
        if not found:
            raise AssertionError("the player printed no address: %r" % self.output)
        self.url = found.group(1).decode()
        self.base = self.url.split("/#")[0]
        self.token = self.url.split("#token=")[1]

    def drain(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if ready:
            try:
                self.output += os.read(self.master, 65536)
            except OSError:
                pass

    def read_until(self, done, patience=PATIENCE):
        give_up = time.monotonic() + patience
        while time.monotonic() < give_up:
            result = done(self.output)
            if result:
                return result
            self.drain(0.05)
        return done(self.output)

    def screen(self):
        at = self.output.rfind(CLEAR)
        text = self.output if at < 0 else self.output[at + len(CLEAR):]
        return text.decode("utf-8", "replace").replace("\r", "")

    def wait_screen(self, part):
        if not self.read_until(lambda _: part in self.screen()):
            raise AssertionError("the screen never showed %r; it shows:\n%s" % (part, self.screen()))

    def type(self, keys):
        os.write(self.master, keys)

    def api(self, path):
        request = urllib.request.Request(self.base + path, headers={"Authorization": "Bearer " + self.token})
        with urllib.request.urlopen(request, timeout=5) as reply:
            return json.loads(reply.read())

    def quit(self):
        if self.process.poll() is None:
            self.type(b"\x1b")
            try:
                self.process.wait(timeout=PATIENCE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        while True:
            ready, _, _ = select.select([self.master], [], [], 0)
            if not ready:
                break
            try:
                if not os.read(self.master, 65536):
                    break
            except OSError:
                break
        os.close(self.master)
        return self.process.returncode


def wait_for(what, condition, patience=PATIENCE):
    give_up = time.monotonic() + patience
    while time.monotonic() < give_up:
        try:
            result = condition()
        except Exception:  # a node replaced while it was read
            result = None
        if result:
            return result
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def button_with_text(driver, container, text):
    for button in driver.find_elements(By.CSS_SELECTOR, "#%s button" % container):
        if text in button.text:
            return button
    return None


def make_browser():
    chromium = shutil.which("chromium")
    driver_path = shutil.which("chromedriver")
    if not chromium or not driver_path:
        skip("chromium and chromium-driver are needed (apt-get install chromium chromium-driver)")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-default-apps", "--disable-extensions", "--no-proxy-server",
                 "--disable-features=Translate,OptimizationHints,MediaRouter",
                 "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="gloam-chromium-")]:
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(driver_path), options=options)


def set_viewport(driver, width, height, mobile):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 2 if mobile else 1,
                            "mobile": mobile})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    folder = tempfile.mkdtemp(prefix="gloam-browser-")
    write_tone(os.path.join(folder, "sounds/rain.wav"), 3.0, 330)
    write_tone(os.path.join(folder, "sounds/bell.wav"), 1.0, 880)
    os.makedirs(os.path.join(folder, "adventures"))
    with open(os.path.join(folder, "adventures/story.xml"), "w") as out:
        out.write("""<story>
  <scene name="Forest" key="F">
    <sound name="Rain" key="r" src="rain.wav" loopCount="-1" fadeOut="300"/>
    <sound name="Bell" key="b" src="bell.wav"/>
    <seq name="Tunes" key="m" loopCount="-1"><sound src="bell.wav"/><sound src="rain.wav"/></seq>
  </scene>
  <scene name="Tavern" key="T"><sound name="Fire" key="f" src="rain.wav" loopCount="-1" autoStart="1"/></scene>
  <scene name="Dungeon"><sound name="Drips" key="d" src="bell.wav" loopCount="-1"/></scene>
</story>
""")
    with open(os.path.join(folder, "adventures/quiet.xml"), "w") as out:
        out.write('<story><scene name="Silence"/></story>\n')
    token_file = os.path.join(folder, "token")

    driver = make_browser()
    player = Player(args.player, folder, "127.0.0.1:0", token_file)
    try:
        set_viewport(driver, 390, 844, True)
        assert player.base.startswith("http://127.0.0.1:"), player.base
        driver.get(player.url)
        wait_for("the page to go live", lambda: driver.find_element(By.ID, "link").text == "live")
        assert driver.find_element(By.ID, "adventure").text == "no adventure loaded"

        # Loading takes two taps, so that no stray tap ends the soundscape.
        story = wait_for("the adventure list", lambda: button_with_text(driver, "adventures", "story.xml"))
        story.click()
        wait_for("the confirmation", lambda: "Tap again" in story.text)
        assert player.api("/api/state")["adventure"] is None, "one tap must not load"
        story.click()
        wait_for("the scenes", lambda: button_with_text(driver, "scenes", "Forest"))
        player.wait_screen(">Forest<")
        assert player.api("/api/state")["adventure"] == "story.xml"

        rain = wait_for("the Rain button", lambda: button_with_text(driver, "elements", "Rain"))
        assert [b.text.split("\n")[1] for b in driver.find_elements(By.CSS_SELECTOR, "#elements button")] == \
            ["Bell", "Tunes", "Rain"], "elements in the status screen's order"
        rain.click()
        wait_for("Rain to show as playing", lambda: "playing" in button_with_text(driver, "elements", "Rain").get_attribute("class"))
        player.wait_screen(" (r P) Rain")
        rain_state = [e for e in player.api("/api/state")["elements"] if e["name"] == "Rain"][0]
        assert rain_state["state"] == "playing" and not rain_state["fading"], rain_state
        driver.save_screenshot(os.path.join(args.out, "phone.png"))

        # A scene with a key, then one without (reached by stepping).
        button_with_text(driver, "scenes", "Tavern").click()
        wait_for("Tavern to be marked", lambda: button_with_text(driver, "scenes", "Tavern").get_attribute("aria-pressed") == "true")
        player.wait_screen(">Tavern<")
        wait_for("Fire, which starts with its scene", lambda: button_with_text(driver, "elements", "Fire"))
        button_with_text(driver, "scenes", "Dungeon").click()
        wait_for("Dungeon to be marked", lambda: button_with_text(driver, "scenes", "Dungeon").get_attribute("aria-pressed") == "true")
        player.wait_screen(">Dungeon<")
        assert [s["current"] for s in player.api("/api/state")["scenes"]] == [False, False, True]

        # The slider, tapped a quarter of the way along.
        slider = driver.find_element(By.ID, "volume")
        width = slider.size["width"]
        ActionChains(driver).move_to_element_with_offset(slider, int(-width / 2 + width * 0.25), 0).click().perform()
        volume = wait_for("the volume to follow the slider", lambda: (lambda v: v if abs(v - 0.25) < 0.08 else None)(
            player.api("/api/state")["volume"]))
        assert driver.find_element(By.ID, "volume-value").text == "%d %%" % round(volume * 100)

        button_with_text(driver, "scenes", "Forest").click()
        player.wait_screen(">Forest<")
        set_viewport(driver, 820, 1180, False)
        time.sleep(0.3)  # the layout settles before the picture is taken
        driver.save_screenshot(os.path.join(args.out, "tablet.png"))
        set_viewport(driver, 390, 844, True)

        # The player goes away: the page says so, and comes back with it.
        port = player.base.rsplit(":", 1)[1]
        assert player.quit() == 0
        wait_for("the page to say the player is unreachable",
                 lambda: driver.find_element(By.ID, "link").text == "unreachable" and
                 driver.find_element(By.ID, "banner").is_displayed())
        driver.save_screenshot(os.path.join(args.out, "phone-unreachable.png"))
        player = Player(args.player, folder, "127.0.0.1:" + port, token_file)
        wait_for("the page to come back", lambda: driver.find_element(By.ID, "link").text == "live", patience=15)
        wait_for("the new player's state", lambda: driver.find_element(By.ID, "adventure").text == "no adventure loaded")
        assert not driver.find_element(By.ID, "banner").is_displayed()
        print("browser test passed; screenshots in " + args.out)
    finally:
        driver.quit()
        player.quit()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()

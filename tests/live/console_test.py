#!/usr/bin/python3
"""The operator's console driven by a real Chromium (Debian's chromium and chromium-driver,
through python3-selenium): a vxosd-live process on loopback with a videotestsrc channel, a page
that edits captions, builds and runs a rundown, follows a bound file, agrees with a second
console and comes back after a server restart. Every wait is for a condition with a bound;
everything started is ended at the end.

Run by CTest: /usr/bin/python3 console_test.py SERVER PLUGIN_DIR [--screenshots DIR]
"""
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

SERVER = PLUGINS = SCREENSHOTS = None
SOURCE = 'videotestsrc is-live=true pattern=black ! video/x-raw,width=320,height=240,framerate=25/1'


def wait(cond, timeout=10.0, what='condition'):
    """Polls cond until it holds (its value) or the time is up (an AssertionError)."""
    end = time.monotonic() + timeout
    last = None
    while time.monotonic() < end:
        try:
            last = cond()
            if last:
                return last
        except Exception as e:  # a page or server in the middle of a change
            last = e
        time.sleep(0.05)
    raise AssertionError(f'timed out after {timeout} s waiting for {what} (last: {last!r})')


def decode_png(data, rows):
    """The first rows of an 8-bit RGBA or RGB PNG: (width, bytes per pixel, [row bytes])."""
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    pos, idat, width = 8, b'', 0
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            bpp = 4 if colour == 6 else 3
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    raw = zlib.decompress(idat)
    stride = width * bpp
    out, prev = [], bytearray(stride)
    for y in range(min(rows, height)):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if f == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 255
        elif f == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 255
        elif f == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif f == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out.append(line)
        prev = line
    return width, bpp, out


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Server:
    """One vxosd-live with its own folder; it keeps its port across restarts."""

    def __init__(self, folder, token=''):
        self.dir = folder
        self.port = free_port()
        self.proc = None
        self.token = token
        with open(os.path.join(folder, 'live.conf'), 'w') as f:
            f.write(f'[server]\nlisten=127.0.0.1:{self.port}\nstate={folder}/state\ntoken={token}\n'
                    f'[channel main]\nsource={SOURCE}\noutput=fakesink\n')

    def start(self):
        env = dict(os.environ, GST_PLUGIN_PATH=PLUGINS, ASAN_OPTIONS='detect_leaks=0', GST_REGISTRY_FORK='no')
        self.log = open(os.path.join(self.dir, 'server.log'), 'a')
        self.proc = subprocess.Popen([SERVER, '--config', os.path.join(self.dir, 'live.conf')],
                                     stdout=self.log, stderr=subprocess.STDOUT, env=env)
        wait(lambda: self.api('GET', '/api/v1/channels/main')['pipeline']['state'] == 'playing', 30, 'the channel to play')

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)
        self.proc = None
        if getattr(self, 'log', None):
            self.log.close()
            self.log = None

    def url(self, path):
        return f'http://127.0.0.1:{self.port}{path}'

    def raw(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        headers = {'Content-Type': 'application/json'} if data else {}
        if self.token:
            headers['Authorization'] = f'Bearer {self.token}'
        req = urllib.request.Request(self.url(path), data=data, method=method, headers=headers)
        with urllib.request.urlopen(req, timeout=10) as r:
            return r.read()

    def api(self, method, path, body=None):
        return json.loads(self.raw(method, path, body))

    def channel(self):
        return self.api('GET', '/api/v1/channels/main')

    def osd(self, rows):
        return decode_png(self.raw('GET', '/api/v1/channels/main/snapshot.png?layer=osd'), rows)

    def pixel(self, x, y):
        _, bpp, lines = self.osd(y + 1)
        return tuple(lines[y][x * bpp:(x + 1) * bpp])

    def white(self, y0, y1):
        """White pixels of the OSD (the captions' glyphs) between two rows."""
        _, bpp, lines = self.osd(y1)
        return sum(1 for line in lines[y0:y1] for i in range(0, len(line), bpp) if min(line[i:i + 3]) > 240)


def browser(lang='en-US'):
    opts = webdriver.ChromeOptions()
    opts.binary_location = '/usr/bin/chromium'
    profile = tempfile.mkdtemp(prefix='vxosd-console-chromium-')
    for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 f'--user-data-dir={profile}', f'--lang={lang}', '--window-size=1400,1000'):
        opts.add_argument(flag)
    opts.add_experimental_option('prefs', {'intl.accept_languages': lang})
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=opts)
    driver.profile_dir = profile
    return driver


def close(driver):
    try:
        driver.quit()
    finally:
        shutil.rmtree(driver.profile_dir, ignore_errors=True)


# Three panels of three colours (BGR in scene colours) at three places: one per cue.
CUES = [('c1', 'Red', 0x0000FF, 100, (255, 0, 0)), ('c2', 'Green', 0x00FF00, 250, (0, 255, 0)),
        ('c3', 'Blue', 0xFF0000, 400, (0, 0, 255))]


def cue_lines(cid, colour, x):
    return [f'AddVxComponent {cid} 0', f'SetVxComponent_Pos {cid} {x} 300 60 40',
            f'SetVxComponent_Color {cid} {colour:#08x} 255', f'SetVxComponent_Visible {cid} 0 1'], [f'DelVxComponent {cid}']


class ConsoleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix='vxosd-console-')
        cls.server = Server(cls.dir)
        cls.server.start()
        cls.server.api('POST', '/api/v1/channels/main/commands', {'lines': [
            'AddVxComponent cap 2', 'SetVxComponent_Pos cap 20 20 600 50', 'SetVxComponent_Font cap "Arial" 16777215 28',
            'SetVxComponent_Text cap "x"', 'SetVxComponent_Visible cap 0 1',
            'AddVxComponent tick 2', 'SetVxComponent_Pos tick 20 400 600 50', 'SetVxComponent_Font tick "Arial" 16777215 28',
            'SetVxComponent_Text tick "."', 'SetVxComponent_Visible tick 0 1']})
        cls.driver = browser()
        cls.driver.get(cls.server.url('/'))
        cls.connected(cls.driver)

    @classmethod
    def tearDownClass(cls):
        close(cls.driver)
        cls.server.kill()
        shutil.rmtree(cls.dir, ignore_errors=True)

    @staticmethod
    def connected(driver, timeout=15):
        wait(lambda: driver.find_element(By.ID, 'connection').get_attribute('data-state') == 'connected', timeout,
             'the console to connect')

    def text_of(self, name):
        for c in self.server.channel()['components']:
            if c['name'] == name:
                return next((s['args'][0] for s in c['settings'] if s['call'] == 'SetVxComponent_Text'), None)
        return None

    def caption_input(self, driver, name):
        return driver.find_element(By.CSS_SELECTOR, f'#components tr[data-name="{name}"] input.text')

    def test_1_edit_a_caption_and_see_it_on_air(self):
        before = self.server.white(20, 70)
        box = wait(lambda: self.caption_input(self.driver, 'cap'), what='the caption row')
        box.clear()
        box.send_keys('WIDE CAPTION ON AIR', Keys.ENTER)
        wait(lambda: self.text_of('cap') == 'WIDE CAPTION ON AIR', what='the text in the state')
        wait(lambda: self.server.white(20, 70) > before + 100, what='the caption in the snapshot')

    def add_cue(self, cid, name, lines, out, duration):
        d = self.driver
        d.find_element(By.ID, 'add-cue').click()
        form = d.find_element(By.ID, 'cue-editor')
        for field, value in (('id', cid), ('name', name), ('lines', '\n'.join(lines)), ('out', '\n'.join(out)),
                             ('duration_ms', str(duration))):
            box = form.find_element(By.NAME, field)
            box.clear()
            box.send_keys(value)
        d.find_element(By.ID, 'cue-save').click()
        wait(lambda: not d.find_element(By.ID, 'cue-editor').is_displayed(), what='the editor to close')
        wait(lambda: d.find_elements(By.CSS_SELECTOR, f'#cues tr[data-id="{cid}"]'), what=f'cue {cid} in the list')

    def shown(self):
        """Which cue panels are on air in the snapshot."""
        _, bpp, lines = self.server.osd(321)
        on = []
        for cid, _, _, x, rgb in CUES:
            p = tuple(lines[320][(x + 30) * bpp:(x + 31) * bpp])
            # The card's palette holds the nearest colour, not the exact one.
            if all(abs(a - b) < 16 for a, b in zip(p[:3], rgb)) and (bpp == 3 or p[3] == 255):
                on.append(cid)
        return on

    def expect(self, on_air, shown, action=None, cue=None, source=None):
        d = self.driver
        wait(lambda: self.shown() == shown, what=f'panels {shown} in the snapshot')
        wait(lambda: (self.server.channel()['rundown']['on_air'] or {}).get('id') == on_air, what=f'{on_air} on air')
        if action:
            # The entry is written when the overlay reports the request applied, just after its frame.
            def logged():
                last = self.server.api('GET', '/api/v1/channels/main/asrun?limit=1')['entries'][-1]
                return (last.get('action'), last.get('cue'), last['source']) == (action, cue, source or 'http')
            wait(logged, what=f'the as-run entry {action} {cue}')
            wait(lambda: d.find_element(By.CSS_SELECTOR, '#asrun tbody tr .what').text == f'{action} {cue}'.strip(),
                 what='the as-run entry in the page')

    def test_2_three_cue_rundown_by_buttons_and_keys(self):
        d = self.driver
        for cid, name, colour, x, _ in CUES:
            lines, out = cue_lines(cid, colour, x)
            self.add_cue(cid, name, lines, out, 0)
        self.assertEqual([c['id'] for c in self.server.api('GET', '/api/v1/channels/main/rundown')['cues']], ['c1', 'c2', 'c3'])
        d.find_element(By.ID, 'take').click()
        self.expect('c1', ['c1'], 'take', 'c1')
        wait(lambda: d.find_element(By.ID, 'onair-name').text == 'Red', what='the on-air name')
        d.find_element(By.ID, 'next').click()
        self.expect('c2', ['c2'], 'take', 'c2')
        body = d.find_element(By.TAG_NAME, 'body')
        body.send_keys(' ')
        self.expect('c3', ['c3'], 'take', 'c3')
        if SCREENSHOTS:
            wait(lambda: d.execute_script('return document.getElementById("preview").naturalWidth > 0'), what='the preview')
            d.execute_script('window.scrollTo(0, 0)')
            time.sleep(0.5)  # a screenshot only: the preview's next frames
            d.save_screenshot(os.path.join(SCREENSHOTS, 'console.png'))
        body.send_keys(Keys.ESCAPE)
        self.expect(None, [], 'stop', 'c3')
        body.send_keys(Keys.CONTROL, 'z')
        self.expect('c3', ['c3'], 'undo', 'c3')
        d.find_element(By.ID, 'undo').click()
        self.expect('c2', ['c2'], 'undo', 'c2')

    def test_3_autoplay_loops_through_the_rundown(self):
        d = self.driver
        r = self.server.api('GET', '/api/v1/channels/main/rundown')
        if len(r['cues']) < 3:
            self.skipTest('needs the rundown of the test before')
        for c in r['cues']:
            c['duration_ms'] = 500
        r.pop('on_air')
        self.server.api('PUT', '/api/v1/channels/main/rundown', r)
        start = len(self.server.api('GET', '/api/v1/channels/main/asrun')['entries'])
        d.find_element(By.ID, 'loop').click()
        d.find_element(By.ID, 'autoplay').click()

        def cycled():
            entries = self.server.api('GET', '/api/v1/channels/main/asrun')['entries'][start:]
            cues = [e['cue'] for e in entries if e['source'] == 'autoplay' and e.get('action') == 'take']
            return 'c3' in cues and 'c1' in cues[cues.index('c3'):]  # past the end, back to the first
        wait(cycled, 15, 'autoplay to loop back to c1')
        self.assertTrue(d.find_element(By.ID, 'autoplay').is_selected())
        self.assertEqual(d.find_element(By.ID, 'onair-remaining').text.split()[0], 'left')
        d.find_element(By.ID, 'autoplay').click()
        wait(lambda: not self.server.api('GET', '/api/v1/channels/main/rundown')['autoplay'], what='autoplay off')

    def test_4_a_bound_file_reaches_the_screen(self):
        d = self.driver
        path = os.path.join(self.dir, 'ticker.txt')
        with open(path, 'w') as f:
            f.write('first\n')
        d.find_element(By.CSS_SELECTOR, '#bindings-pane summary').click()
        area = d.find_element(By.ID, 'bindings-json')
        area.clear()
        area.send_keys(json.dumps({'bindings': [{'component': 'tick', 'file': path, 'template': 'NEWS: {value}'}]}))
        d.find_element(By.ID, 'bindings-apply').click()
        wait(lambda: self.text_of('tick') == 'NEWS: first', what='the first value on air')
        before = self.server.white(400, 450)
        tmp = path + '.new'
        with open(tmp, 'w') as f:
            f.write('a much longer headline from the file\n')
        os.replace(tmp, path)  # the way editors and feeds write
        wait(lambda: d.find_element(By.CSS_SELECTOR, '#bindings tr[data-component="tick"] .value').text ==
             'NEWS: a much longer headline from the file', what='the new value in the page')
        wait(lambda: self.server.white(400, 450) > before + 100, what='the new text in the snapshot')
        os.remove(path)
        wait(lambda: 'gone' in d.find_element(By.CSS_SELECTOR, '#bindings tr[data-component="tick"] .error').text,
             what='the error in the page')
        self.assertEqual(self.text_of('tick'), 'NEWS: a much longer headline from the file')

    def test_5_two_consoles_agree(self):
        other = browser()
        try:
            other.get(self.server.url('/'))
            self.connected(other)
            box = wait(lambda: self.caption_input(other, 'cap'), what='the caption row in the second console')
            box.clear()
            box.send_keys('FROM THE SECOND CONSOLE', Keys.ENTER)
            wait(lambda: self.caption_input(self.driver, 'cap').get_attribute('value') == 'FROM THE SECOND CONSOLE',
                 what='the first console to follow')
            self.driver.find_element(By.CSS_SELECTOR, '#cues tr[data-id="c1"] .take-cue').click()
            wait(lambda: other.find_element(By.ID, 'onair-name').text == 'Red', what='the second console to follow')
        finally:
            close(other)

    def test_6_reconnects_after_a_server_restart(self):
        d = self.driver
        self.server.api('POST', '/api/v1/channels/main/rundown/take', {'id': 'c2'})
        wait(lambda: d.find_element(By.ID, 'onair-name').text == 'Green', what='c2 on air')
        self.server.kill()
        wait(lambda: d.find_element(By.ID, 'connection').get_attribute('data-state') == 'lost', 10, 'the page to see it')
        self.server.start()
        self.connected(d, 20)
        wait(lambda: d.find_element(By.ID, 'onair-name').text == 'Green', what='the restored on-air cue')
        wait(lambda: self.caption_input(d, 'cap').get_attribute('value') == 'FROM THE SECOND CONSOLE', what='the components')
        self.assertEqual(self.shown(), ['c2'])


class TokenAndChineseConsoleTest(unittest.TestCase):
    def test_the_token_is_taken_from_the_address_or_asked_once_and_the_page_speaks_chinese(self):
        folder = tempfile.mkdtemp(prefix='vxosd-console-zh-')
        server = Server(folder, token='s3cret')
        driver = None
        try:
            server.start()
            driver = browser('zh-CN')
            driver.get(server.url('/?token=s3cret'))
            ConsoleTest.connected(driver)
            wait(lambda: driver.find_element(By.ID, 'take').text == '播出', what='the Chinese words')
            self.assertEqual(driver.find_element(By.ID, 'undo').text, '撤销')
            # Without it, the page asks once, and then connects.
            driver.delete_all_cookies()
            driver.get(server.url('/'))
            wait(lambda: driver.find_element(By.ID, 'token-dialog').is_displayed(), what='the token dialog')
            driver.find_element(By.ID, 'token-input').send_keys('s3cret', Keys.ENTER)
            ConsoleTest.connected(driver)
            self.assertFalse(driver.find_element(By.ID, 'token-dialog').is_displayed())
            if SCREENSHOTS:
                lines, out = cue_lines('c1', 0x0000FF, 100)
                server.api('PUT', '/api/v1/channels/main/rundown', {'cues': [
                    {'id': 'c1', 'name': '头条', 'lines': lines + ['AddVxComponent cap 2', 'SetVxComponent_Pos cap 20 20 600 50',
                     'SetVxComponent_Font cap "宋体" 16777215 28', 'SetVxComponent_Text cap "{title}"',
                     'SetVxComponent_Visible cap 0 1'], 'out': out + ['DelVxComponent cap'],
                     'fields': {'title': '突发：新消息'}, 'duration_ms': 8000},
                    {'id': 'c2', 'name': '嘉宾', 'lines': cue_lines('c2', 0x00FF00, 250)[0], 'out': ['DelVxComponent c2']}]})
                server.api('POST', '/api/v1/channels/main/rundown/take', {'id': 'c1'})
                wait(lambda: driver.find_element(By.ID, 'onair-name').text == '头条', what='the cue on air')
                wait(lambda: driver.execute_script('return document.getElementById("preview").naturalWidth > 0'),
                     what='the preview')
                time.sleep(0.5)  # a screenshot only: the preview's next frames
                driver.save_screenshot(os.path.join(SCREENSHOTS, 'console-zh.png'))
        finally:
            if driver:
                close(driver)
            server.kill()
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    args = sys.argv[1:]
    if '--screenshots' in args:
        i = args.index('--screenshots')
        SCREENSHOTS = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    SERVER, PLUGINS = args[0], args[1]
    unittest.main(argv=[sys.argv[0], '-v'] + args[2:])

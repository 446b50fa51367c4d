"""The Python binding against a simulated counter."""
import csv
import io
import os
import sys
import unittest
from datetime import date, datetime, timedelta

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))

import tallyx  # noqa: E402
from sim_counter import SimulatedCounter  # noqa: E402

QUICK = {"COMM_WAITBETWEENREQSMS": 0, "COMM_RECVTOUTMS": 2000}


class ReadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sim = SimulatedCounter("B", vehicles=250, seed=9)
        cls.counter = tallyx.Counter(port=cls.sim.com, **QUICK)
        cls.steps = []
        cls.counter.read(progress=cls.steps.append)

    @classmethod
    def tearDownClass(cls):
        cls.counter.close()
        cls.sim.close()

    def test_records_come_out_typed(self):
        vehicles = self.counter.sequential()
        self.assertEqual(len(vehicles), 250)
        self.assertIsInstance(vehicles[0].time, datetime)
        self.assertIsInstance(vehicles[0].speed, int)
        self.assertEqual(self.counter.get("STUDY_NUMRECORDS"), "250")
        periods = self.counter.periodic()
        self.assertEqual(len(periods), 96)
        self.assertEqual(sum(p.count for p in periods), 250)
        self.assertIsNone(periods[0].temperature)
        self.assertEqual(sum(sum(row) for p in periods for row in p.bins),
                         sum(1 for v in vehicles if v.speed != 0))
        self.assertEqual(sum(p.reverse_count for p in periods), sum(1 for v in vehicles if v.reverse))
        self.assertEqual(self.steps, list(range(1, len(self.steps) + 1)))

    def test_rows_go_straight_into_csv(self):
        rows = self.counter.rows("periodic")
        out = io.StringIO()
        writer = csv.DictWriter(out, fieldnames=list(rows[0]))
        writer.writeheader()
        writer.writerows(rows)
        self.assertEqual(out.getvalue().splitlines()[0], self.counter.lines("periodic")[0])

    def test_units_switch_changes_what_the_export_gives(self):
        us = self.counter.sequential()
        self.counter.metric = True
        try:
            metric = self.counter.sequential()
        finally:
            self.counter.metric = False
        fast = next(i for i, v in enumerate(us) if v.speed > 20)
        self.assertGreater(metric[fast].speed, us[fast].speed)
        self.assertEqual(metric[fast].time, us[fast].time)

    def test_errors_carry_the_code_and_its_name(self):
        with self.assertRaises(tallyx.TallyxError) as caught:
            self.counter.get("NO_SUCH_PROPERTY")
        self.assertEqual(caught.exception.code, -10)
        self.assertEqual(caught.exception.name, "RETCODE_ERR_INVALIDPROPERTY")
        with self.assertRaises(tallyx.TallyxError) as caught:
            self.counter.set("STUDY_SPEEDBINS", "30 20")
        self.assertEqual(caught.exception.name, "RETCODE_ERR_OUTOFSEQUENCE")


class CallbackTest(unittest.TestCase):
    def setUp(self):
        self.counter = SimulatedCounter("B", vehicles=100, seed=2, batterypercent=10)
        self.addCleanup(self.counter.close)

    def sim(self):
        return self.counter

    def test_an_exception_in_a_callback_stops_the_read_and_is_raised_again(self):
        def progress(step):
            if step == 3:
                raise ValueError("stop here")

        with tallyx.Counter(port=self.sim().com, **QUICK) as counter:
            with self.assertRaisesRegex(ValueError, "stop here"):
                counter.read(progress=progress)
            # The context stays usable.
            counter.read(action="deviceinfo")
            self.assertTrue(counter.get("DEV_SERIALNO"))

    def test_false_from_progress_or_prompt_stops_with_code_one(self):
        with tallyx.Counter(port=self.sim().com, **QUICK) as counter:
            with self.assertRaises(tallyx.TallyxError) as caught:
                counter.read(progress=lambda step: step < 4)
            self.assertEqual(caught.exception.code, 1)
            tomorrow = date.today() + timedelta(days=1)
            counter.set("STUDY_BEGINDATETIME", f"{tomorrow} 00:00:00.000")
            counter.set("STUDY_ENDDATETIME", f"{tomorrow + timedelta(days=1)} 00:00:00.000")
            counter.set("STUDY_PERIODTIME", 15)
            counter.set("STUDY_SPEEDBINS", "20 30")
            counter.set("STUDY_LENGTHBINS", "20")
            reasons = []
            with self.assertRaises(tallyx.TallyxError) as caught:
                counter.write(prompt=lambda reason: reasons.append(reason) or reason != 3)
            self.assertEqual(caught.exception.code, 1)
            self.assertIn(3, reasons)
            counter.write(prompt=lambda reason: True)


if __name__ == "__main__":
    unittest.main()
